# cmake -DSOURCE=<repo> -DBUILD=<dir> -DTOOLCHAIN=<file> [-DSTRIP_LICENSE_FROM=<stk tree>] -DOPTIONS=<a;b> -P configure_case.cmake
#
# Configures a fresh Windows build of the repository in BUILD with the cache
# options OPTIONS (plug-ins only: no tests, tools or benchmarks) and prints
# its output, so that a test can match what configure says. With
# STRIP_LICENSE_FROM, a copy of that STK source tree without its LICENSE file
# is made in BUILD-stk first and takes the place of "@STK_COPY@" in OPTIONS.
file(REMOVE_RECURSE ${BUILD} ${BUILD}-stk)
if(DEFINED STRIP_LICENSE_FROM)
  file(COPY ${STRIP_LICENSE_FROM}/include ${STRIP_LICENSE_FROM}/src DESTINATION ${BUILD}-stk)
  string(REPLACE "@STK_COPY@" "${BUILD}-stk" OPTIONS "${OPTIONS}")
endif()
set(cache_options "")
foreach(option IN LISTS OPTIONS)
  list(APPEND cache_options -D${option})
endforeach()
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BUILD} -G Ninja --toolchain ${TOOLCHAIN}
          -DPLUGINS_BUILD_TESTS=OFF -DPLUGINS_BUILD_TOOLS=OFF -DPLUGINS_BUILD_BENCH=OFF -DSTK_DOWNLOAD=OFF
          ${cache_options}
  OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE result)
string(REGEX REPLACE "[ \n]+" " " flat "${out}")
message("${flat}")
message("configure result: ${result}")
