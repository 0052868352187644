# The Windows package: one folder holding what a user of the engine needs
# beside the host executable, and a zip of it.
#
#   cmake --install build/windows [--prefix DIR]   the folder (by default
#                                                   build/windows/engine-plugins-win32)
#   cmake --build build/windows --target package   build/windows/engine-plugins-win32.zip,
#                                                   the same folder zipped (CPack)
#
# Contents, all at the top of the folder:
#   sonafilter.dll, relaystore.dll     the plug-ins (sonafilter.dll only when built)
#   libgcc_s_dw2-1.dll, libstdc++-6.dll, libwinpthread-1.dll
#                                      the shared MinGW runtime they import
#                                      (cmake/toolchain-mingw-i686.cmake says why shared)
#   LICENSES.txt                       the licences of the third-party code in them
# Every DLL is installed stripped (symbol table and debug sections removed):
# libstdc++-6.dll shrinks from 21.5 MB to 2.15 MB.
include_guard(GLOBAL)

set(PLUGINS_PACKAGE_NAME engine-plugins-win32)
set(PLUGINS_GCC_COPYRIGHT /usr/share/doc/gcc-mingw-w64-base/copyright CACHE FILEPATH
    "Debian's copyright file of the MinGW GCC runtime (GCC Runtime Library Exception)")
set(PLUGINS_GPL3_TEXT /usr/share/common-licenses/GPL-3 CACHE FILEPATH "The GNU GPL version 3")
set(PLUGINS_MINGW_COPYRIGHT /usr/share/doc/mingw-w64-i686-dev/copyright CACHE FILEPATH
    "Debian's copyright file of mingw-w64 (winpthreads)")

# The text between `first` (included) and `last` (included) in `text`;
# a configure error naming `file` when either is missing.
function(plugins_text_between text first last file out)
  string(FIND "${text}" "${first}" begin)
  if(begin EQUAL -1)
    message(FATAL_ERROR "${file} holds no \"${first}\"")
  endif()
  string(SUBSTRING "${text}" ${begin} -1 rest)
  string(FIND "${rest}" "${last}" end)
  if(end EQUAL -1)
    message(FATAL_ERROR "${file} holds no \"${last}\" after \"${first}\"")
  endif()
  string(LENGTH "${last}" last_length)
  math(EXPR length "${end} + ${last_length}")
  string(SUBSTRING "${rest}" 0 ${length} part)
  set(${out} "${part}" PARENT_SCOPE)
endfunction()

# The paragraphs of a Debian copyright file (blank-line separated) that
# start with `head` (a regular expression for the first line), joined with
# blank lines as they stand.
function(plugins_copyright_paragraphs text head file out)
  set(found "")
  set(rest "${text}\n\n")
  string(FIND "${rest}" "\n\n" end)
  while(NOT end EQUAL -1)
    string(SUBSTRING "${rest}" 0 ${end} paragraph)
    math(EXPR next "${end} + 2")
    string(SUBSTRING "${rest}" ${next} -1 rest)
    string(REGEX REPLACE "^\n+" "" paragraph "${paragraph}")
    if(paragraph MATCHES "^${head}")
      string(APPEND found "${paragraph}\n\n")
    endif()
    string(FIND "${rest}" "\n\n" end)
  endwhile()
  if(found STREQUAL "")
    message(FATAL_ERROR "${file} holds no paragraph starting with ${head}")
  endif()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# Writes `path`: the licences of STK (from `stk_license`, the file whose text
# sonafilter.dll logs; none when sonafilter is not built), of the GCC runtime
# and of winpthreads, each with the file it was taken from.
function(plugins_write_licenses path stk_license)
  set(rule "================================================================================")
  set(text "Licences of the third-party code in this folder\n\n")
  string(APPEND text "sonafilter.dll and relaystore.dll are host engine plug-ins. Besides their own code they\n"
                     "contain or need the following third-party code, under the licences given below.\n\n")
  if(NOT stk_license STREQUAL "")
    string(APPEND text "- sonafilter.dll contains STK, the Synthesis ToolKit in C++ (its reverb).\n")
  endif()
  string(APPEND text
    "- libgcc_s_dw2-1.dll and libstdc++-6.dll are the GCC runtime libraries (MinGW-w64 build of\n"
    "  GCC 12): GNU General Public License version 3 or later, with the GCC Runtime Library\n"
    "  Exception version 3.1.\n"
    "- libwinpthread-1.dll is the winpthreads library of the mingw-w64 project: MIT (expat)\n"
    "  licence, parts under BSD licences.\n")
  if(NOT stk_license STREQUAL "")
    file(READ ${stk_license} stk)
    string(APPEND text "\n${rule}\nSTK (the Synthesis ToolKit in C++)\n"
                       "Taken from the LICENSE file of the STK sources compiled into sonafilter.dll.\n${rule}\n\n${stk}")
  endif()

  file(READ ${PLUGINS_GCC_COPYRIGHT} gcc)
  plugins_text_between("${gcc}" "The following runtime libraries are licensed" " - libstdc++-v3" ${PLUGINS_GCC_COPYRIGHT} gcc_scope)
  plugins_text_between("${gcc}" "GCC RUNTIME LIBRARY EXCEPTION" "requirements of the license of GCC." ${PLUGINS_GCC_COPYRIGHT} gcc_exception)
  file(READ ${PLUGINS_GPL3_TEXT} gpl3)
  string(APPEND text "\n${rule}\nGCC runtime libraries (libgcc_s_dw2-1.dll, libstdc++-6.dll)\n"
                     "Taken from ${PLUGINS_GCC_COPYRIGHT} (Debian package gcc-mingw-w64-base)\n"
                     "and ${PLUGINS_GPL3_TEXT}.\n${rule}\n\n"
                     "${gcc_scope}\n [...]\n\n${gcc_exception}\n\n${gpl3}")

  file(READ ${PLUGINS_MINGW_COPYRIGHT} mingw)
  plugins_copyright_paragraphs("${mingw}" "Files: mingw-w64-libraries/winpthreads/" ${PLUGINS_MINGW_COPYRIGHT} winpthreads)
  plugins_copyright_paragraphs("${mingw}" "License: expat\n " ${PLUGINS_MINGW_COPYRIGHT} expat)
  plugins_copyright_paragraphs("${mingw}" "License: BSD-3-clause\n " ${PLUGINS_MINGW_COPYRIGHT} bsd3)
  string(APPEND text "\n${rule}\nwinpthreads (libwinpthread-1.dll)\n"
                     "Taken from ${PLUGINS_MINGW_COPYRIGHT} (Debian package mingw-w64-i686-dev):\n"
                     "its paragraphs on winpthreads and the licences they name.\n${rule}\n\n"
                     "${winpthreads}${expat}${bsd3}")
  file(CONFIGURE OUTPUT ${path} CONTENT "${text}" @ONLY NEWLINE_STYLE UNIX)
endfunction()

set(plugins_package_stk_license "")
if(TARGET sonafilter)
  get_target_property(plugins_package_stk_license sonafilter SONAFILTER_STK_LICENSE_FILE)
endif()
set(PLUGINS_LICENSES_FILE ${CMAKE_BINARY_DIR}/LICENSES.txt)
plugins_write_licenses(${PLUGINS_LICENSES_FILE} "${plugins_package_stk_license}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PLUGINS_GCC_COPYRIGHT} ${PLUGINS_GPL3_TEXT} ${PLUGINS_MINGW_COPYRIGHT})

# ----- install rules ------------------------------------------------------------------
set(plugins_packaged_dlls "")
foreach(plugin sonafilter relaystore)
  if(TARGET ${plugin})
    install(TARGETS ${plugin} LIBRARY DESTINATION . RUNTIME DESTINATION .)
    list(APPEND plugins_packaged_dlls $<TARGET_FILE_NAME:${plugin}>)
  endif()
endforeach()
install(FILES ${PLUGINS_MINGW_RUNTIME} DESTINATION .)
foreach(dll ${PLUGINS_MINGW_RUNTIME})
  get_filename_component(dll_name ${dll} NAME)
  list(APPEND plugins_packaged_dlls ${dll_name})
endforeach()
install(FILES ${PLUGINS_LICENSES_FILE} DESTINATION .)
# Strips every installed DLL in place; a failing strip fails the install.
install(CODE "
foreach(dll ${plugins_packaged_dlls})
  set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${dll}\")
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${installed}\" RESULT_VARIABLE stripped)
  if(NOT stripped EQUAL 0)
    message(FATAL_ERROR \"cannot strip \${installed}\")
  endif()
endforeach()
")

# ----- the zip ------------------------------------------------------------------------
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PLUGINS_PACKAGE_NAME})
set(CPACK_PACKAGE_FILE_NAME ${PLUGINS_PACKAGE_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES OFF)  # the install rules strip
include(CPack)
