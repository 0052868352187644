# cmake -DSOURCE=<repo> -DBUILD=<dir> -DTOOLCHAIN=<file> -DOPTIONS=<a;b>
#       [-DSTRIP_LICENSE_FROM=<stk tree> | -DPREFIX_FROM=<stk tree> -DPREFIX_LIBRARY=<libstk.a>]
#       -P configure_case.cmake
#
# Configures a fresh Windows build of the repository in BUILD with the cache
# options OPTIONS (plug-ins only: no tests, tools or benchmarks) and prints
# its output, so that a test can match what configure says. Before that, in
# BUILD-stk, which takes the place of "@STK_COPY@" in OPTIONS:
#   STRIP_LICENSE_FROM: a copy of that STK source tree without its LICENSE;
#   PREFIX_FROM: an installed STK made of that tree's headers and LICENSE and
#   the library PREFIX_LIBRARY (include/stk/, lib/libstk.a, LICENSE).
file(REMOVE_RECURSE ${BUILD} ${BUILD}-stk)
if(DEFINED STRIP_LICENSE_FROM)
  file(COPY ${STRIP_LICENSE_FROM}/include ${STRIP_LICENSE_FROM}/src DESTINATION ${BUILD}-stk)
elseif(DEFINED PREFIX_FROM)
  file(GLOB headers ${PREFIX_FROM}/include/*.h)
  file(COPY ${headers} DESTINATION ${BUILD}-stk/include/stk)
  file(COPY ${PREFIX_FROM}/LICENSE DESTINATION ${BUILD}-stk)
  file(MAKE_DIRECTORY ${BUILD}-stk/lib)
  file(COPY_FILE ${PREFIX_LIBRARY} ${BUILD}-stk/lib/libstk.a)
endif()
string(REPLACE "@STK_COPY@" "${BUILD}-stk" OPTIONS "${OPTIONS}")
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
