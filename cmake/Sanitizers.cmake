# Sanitizer and fuzzing builds.
#
#   PLUGINS_SANITIZERS   the -fsanitize= list for every target of the build,
#                        e.g. "address,undefined,leak" (preset asan). Empty: none.
#   PLUGINS_FUZZ         ON: build the libFuzzer targets of tests/fuzz (preset
#                        fuzz, clang only); every other target is compiled with
#                        coverage instrumentation (-fsanitize=fuzzer-no-link)
#                        so that the fuzzers see the plug-ins' branches too.
#
# Undefined behaviour stops the program at the first report
# (-fno-sanitize-recover), so a test or fuzz run can never pass over one.
# Frame pointers stay in, for whole stacks in the reports.
#
# The plug-ins are shared objects that executables dlopen. GCC links the
# sanitizer runtime into shared objects as well; clang leaves its runtime
# symbols undefined there, to be bound to the copy in the executable when the
# plug-in is loaded. PLUGINS_SANITIZER_RUNTIME_IN_EXECUTABLE tells
# cmake/Plugin.cmake that -Wl,--no-undefined cannot hold for such a build.
set(PLUGINS_SANITIZERS "" CACHE STRING
    "Sanitizers for the whole build, as -fsanitize= takes them (e.g. address,undefined,leak)")
option(PLUGINS_FUZZ "Build the libFuzzer targets (clang)" OFF)

set(PLUGINS_SANITIZER_RUNTIME_IN_EXECUTABLE OFF)

if(PLUGINS_SANITIZERS)
  if(MSVC OR WIN32)
    message(FATAL_ERROR "PLUGINS_SANITIZERS is for native GCC and clang builds")
  endif()
  add_compile_options(-fsanitize=${PLUGINS_SANITIZERS} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${PLUGINS_SANITIZERS})
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    set(PLUGINS_SANITIZER_RUNTIME_IN_EXECUTABLE ON)
  endif()
  message(STATUS "Sanitizers: ${PLUGINS_SANITIZERS}")
endif()

if(PLUGINS_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PLUGINS_FUZZ needs clang (libFuzzer): configure with the preset fuzz, "
                        "or -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
  set(PLUGINS_SANITIZER_RUNTIME_IN_EXECUTABLE ON)
endif()
