# plugins_add_plugin(NAME SOURCES...): a host engine plug-in named NAME with the
# platform's shared-library suffix and no "lib" prefix, built from SOURCES and
# the binding layer, exporting only V2Link and V2Unlink.
#
# On Windows the exports come from cmake/plugin_exports.def alone (each entry
# under its plain and its decorated name), the plug-in's folder may carry
# resources/NAME.rc, compiled into the DLL, and the shared MinGW runtime is
# copied beside the DLL.
if(WIN32 AND MINGW)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsRuntime.cmake)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/Sanitizers.cmake)
set(PLUGINS_EXPORTS_DEF ${CMAKE_CURRENT_LIST_DIR}/plugin_exports.def)
set(PLUGINS_EXPORTS_MAP ${CMAKE_CURRENT_LIST_DIR}/plugin_exports.map)
set(PLUGINS_DELIVERABLES sonafilter relaystore)

function(plugins_add_plugin name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE hostlink)
  plugins_warnings(${name})
  if(WIN32)
    target_sources(${name} PRIVATE ${PLUGINS_EXPORTS_DEF})
    set(rc ${CMAKE_CURRENT_SOURCE_DIR}/resources/${name}.rc)
    if(EXISTS ${rc})
      target_sources(${name} PRIVATE ${rc})
      # The files that the script embeds are named relative to its folder.
      set_property(SOURCE ${rc} APPEND PROPERTY INCLUDE_DIRECTORIES ${CMAKE_CURRENT_SOURCE_DIR}/resources)
      # windres reports no dependencies: rebuild when any file it embeds changes.
      file(GLOB embedded CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/*)
      list(REMOVE_ITEM embedded ${rc})
      set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${embedded})
    endif()
    if(MINGW)
      plugins_ship_runtime(${name})
    endif()
  elseif(NOT APPLE)
    # Every engine function comes through the exporter: nothing may stay
    # undefined. Not checkable where the sanitizer runtime stays in the
    # executable (cmake/Sanitizers.cmake): its symbols are undefined here.
    if(NOT PLUGINS_SANITIZER_RUNTIME_IN_EXECUTABLE)
      target_link_options(${name} PRIVATE -Wl,--no-undefined)
    endif()
    # The deliverables export their two entries and nothing else; test-only
    # plug-ins keep their extra control entries.
    if(name IN_LIST PLUGINS_DELIVERABLES)
      target_link_options(${name} PRIVATE -Wl,--version-script=${PLUGINS_EXPORTS_MAP})
      set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${PLUGINS_EXPORTS_MAP})
    endif()
  endif()
endfunction()
