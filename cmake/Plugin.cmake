# plugins_add_plugin(NAME SOURCES...): a host engine plug-in named NAME with the
# platform's shared-library suffix and no "lib" prefix, built from SOURCES and
# the binding layer, exporting only V2Link and V2Unlink.
function(plugins_add_plugin name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE hostlink)
  plugins_warnings(${name})
  if(NOT WIN32 AND NOT APPLE)
    # Every engine function comes through the exporter: nothing may stay undefined.
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
