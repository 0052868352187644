# The shared MinGW runtime beside every Windows binary of the build.
#
# Every module links the shared runtime (see cmake/toolchain-mingw-i686.cmake
# for why), so the plug-in DLLs and the test executables need the runtime
# DLLs in their own folder: the test executables to start at all, the plug-ins
# because they ship with them. plugins_ship_runtime(TARGET) puts them beside
# TARGET's file.

# The runtime DLLs the compiler's C++ programs import: libgcc's and
# libstdc++'s, plus libwinpthread when libstdc++ was built on it (the "posix"
# thread model).
function(plugins_find_mingw_runtime out)
  set(found "")
  set(wanted libgcc_s_dw2-1.dll libstdc++-6.dll)
  foreach(dll ${wanted})
    plugins_runtime_dll_path(${dll} path)
    list(APPEND found ${path})
  endforeach()
  list(GET found 1 libstdcxx)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${libstdcxx} OUTPUT_VARIABLE imports)
  if(imports MATCHES "DLL Name: libwinpthread-1.dll")
    plugins_runtime_dll_path(libwinpthread-1.dll path)
    list(APPEND found ${path})
  endif()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# The full path of runtime DLL `dll`, as the compiler finds it.
function(plugins_runtime_dll_path dll out)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "The MinGW runtime DLL ${dll} was not found by ${CMAKE_CXX_COMPILER}")
  endif()
  get_filename_component(path ${path} REALPATH)
  set(${out} ${path} PARENT_SCOPE)
endfunction()

if(NOT PLUGINS_MINGW_RUNTIME)
  plugins_find_mingw_runtime(runtime)
  set(PLUGINS_MINGW_RUNTIME ${runtime} CACHE INTERNAL "The MinGW runtime DLLs shipped beside the binaries")
  message(STATUS "MinGW runtime shipped beside the DLLs and executables: ${runtime}")
endif()

# Copies the runtime into the folder of TARGET's file. One copy step per
# build folder, shared by all its targets, so that parallel links never write
# the same file twice. TARGET must keep its file in its own build folder
# (CMAKE_CURRENT_BINARY_DIR), the default.
function(plugins_ship_runtime target)
  file(RELATIVE_PATH folder ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR})
  string(MAKE_C_IDENTIFIER "mingw_runtime_${folder}" step)
  if(NOT TARGET ${step})
    set(copies "")
    foreach(dll ${PLUGINS_MINGW_RUNTIME})
      get_filename_component(dll_name ${dll} NAME)
      list(APPEND copies ${CMAKE_CURRENT_BINARY_DIR}/${dll_name})
    endforeach()
    add_custom_command(OUTPUT ${copies}
      COMMAND ${CMAKE_COMMAND} -E copy ${PLUGINS_MINGW_RUNTIME} ${CMAKE_CURRENT_BINARY_DIR}
      DEPENDS ${PLUGINS_MINGW_RUNTIME}
      COMMENT "Copying the MinGW runtime into ${folder}"
      VERBATIM)
    add_custom_target(${step} DEPENDS ${copies})
  endif()
  add_dependencies(${target} ${step})
endfunction()
