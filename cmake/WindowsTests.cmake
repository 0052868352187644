# Windows test executables run under Wine, through CTest.
#
# CTest starts each test executable through the cross-compiling emulator
# (cmake/wine-run.sh, set by the toolchain file). A Wine start costs a few
# seconds and a fresh prefix about ten, so:
#   * each test executable is one CTest test (all its test cases in one Wine
#     start) instead of one CTest test per test case;
#   * the prefix is made once per test run, by the fixture test
#     wine.prefix.create, and thrown away at the end by wine.prefix.remove;
#     every Windows test requires that fixture, so `ctest -R name` still gets
#     a prefix.
set(PLUGINS_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH
    "The throw-away Wine prefix of a test run (created and removed by the run)")

add_test(NAME wine.prefix.create
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/wine-prefix.sh create ${PLUGINS_WINE_PREFIX})
set_tests_properties(wine.prefix.create PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
add_test(NAME wine.prefix.remove
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/wine-prefix.sh remove ${PLUGINS_WINE_PREFIX})
set_tests_properties(wine.prefix.remove PROPERTIES FIXTURES_CLEANUP wine_prefix)

# Runs test TEST (a Windows executable started through the emulator) in the run's prefix.
function(plugins_run_under_wine test)
  set_tests_properties(${test} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    ENVIRONMENT "WINEPREFIX=${PLUGINS_WINE_PREFIX}")
endfunction()

# nlohmann_json for the target: the library is header-only, so the build
# machine's copy serves. Its own package would put all of /usr/include on the
# target's include path (shadowing the MinGW headers), so the target sees only
# a folder holding a link to /usr/include/nlohmann, through a small package
# file that find_package(nlohmann_json) picks up.
set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
set(host_packages ${CMAKE_BINARY_DIR}/host-packages)
if(EXISTS /usr/include/nlohmann/json.hpp AND NOT EXISTS ${host_headers}/nlohmann)
  file(MAKE_DIRECTORY ${host_headers})
  file(CREATE_LINK /usr/include/nlohmann ${host_headers}/nlohmann SYMBOLIC)
endif()
file(CONFIGURE OUTPUT ${host_packages}/nlohmann_json/nlohmann_jsonConfig.cmake @ONLY CONTENT
"if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES @host_headers@)
endif()
")
set(nlohmann_json_DIR ${host_packages}/nlohmann_json CACHE PATH "nlohmann_json for the target (header-only)" FORCE)
