# STK for the Windows build of sonafilter.
#
# The Windows build links STK statically (sonafilter.dll then needs no DLL
# beside the MinGW runtime). The STK comes from the first of these that is
# named or reachable:
#   1. STK_WINDOWS_PREFIX: an STK already built for 32-bit Windows with the
#      same MinGW-w64 compiler (i686, DWARF-2 exceptions, posix threads):
#        ${STK_WINDOWS_PREFIX}/include/stk/FreeVerb.h
#        ${STK_WINDOWS_PREFIX}/lib/libstk.a
#   2. STK_SOURCE_DIR: an unpacked STK source tree (include/FreeVerb.h,
#      src/FreeVerb.cpp, LICENSE);
#   3. STK_SOURCE_ARCHIVE: an STK source archive (.tar.gz), checked against
#      STK_SOURCE_SHA256 and unpacked into the build tree;
#   4. with STK_DOWNLOAD on: STK 4.6.2 downloaded from the STK project's
#      public repository, pinned to the release tag's commit.
# From sources (2 to 4) the build compiles only what the reverb needs, as
# its own static library `stk_windows`, with the plug-ins' toolchain and
# flags. STK's own build system is not used: it overwrites CMAKE_CXX_FLAGS,
# cannot build for MinGW without its realtime audio parts and installs
# nothing.
#
# Sets PLUGINS_STK_FOR_WINDOWS to ON when an STK is usable, and then
# PLUGINS_STK_LICENSE_DIR to the folder where that STK's licence file lies
# (the source tree, or the prefix). A prebuilt STK gets the cache entries
# STK_INCLUDE_DIR and STK_LIBRARY (the imported target stk::stk is made from
# them in sonafilter/CMakeLists.txt, as for every build); a source build
# makes stk::stk itself. Without any STK, explains why sonafilter.dll is
# skipped.
set(STK_WINDOWS_PREFIX "" CACHE PATH
    "Prefix of an STK built for 32-bit Windows with MinGW-w64 (include/stk/FreeVerb.h, lib/libstk.a)")
set(STK_SOURCE_DIR "" CACHE PATH "An unpacked STK source tree, compiled into the Windows build")
set(STK_SOURCE_ARCHIVE "" CACHE FILEPATH "An STK source archive (.tar.gz), unpacked and compiled into the Windows build")
# The checksum of STK 4.6.2's archive as `git archive --prefix=stk-4.6.2/` makes it.
set(STK_SOURCE_SHA256 "99a264a93c29d73bdd992e52438f1e9c7d9df6e89b42b4626c330abce56d5c29" CACHE STRING
    "SHA-256 that STK_SOURCE_ARCHIVE must have (empty: not checked)")
option(STK_DOWNLOAD "Download STK 4.6.2's sources when no STK is named" ON)

set(PLUGINS_STK_DOWNLOAD_COMMIT f3ce5f4d04c83ec2d1661914a5dfc8437758fb4c)  # tag 4.6.2
set(PLUGINS_STK_DOWNLOAD_URL "https://github.com/thestk/stk/archive/${PLUGINS_STK_DOWNLOAD_COMMIT}.tar.gz")

# The STK sources the reverb pulls in: stk::FreeVerb, its Delay and OnePole
# filters, and the Stk base class.
set(PLUGINS_STK_SOURCES Stk.cpp FreeVerb.cpp Delay.cpp OnePole.cpp)

# Unpacks `archive` into the build tree once per archive content and puts
# the path of the top folder that holds include/FreeVerb.h into `out` (empty
# and a reason in `why` when the archive holds no STK).
function(plugins_unpack_stk archive out why)
  file(SHA256 ${archive} hash)
  set(into ${CMAKE_BINARY_DIR}/_deps/stk-${hash})
  if(NOT EXISTS ${into}/.unpacked)
    file(REMOVE_RECURSE ${into})
    file(ARCHIVE_EXTRACT INPUT ${archive} DESTINATION ${into})
    file(TOUCH ${into}/.unpacked)
  endif()
  file(GLOB headers ${into}/*/include/FreeVerb.h)
  if(headers STREQUAL "")
    set(${out} "" PARENT_SCOPE)
    set(${why} "${archive} holds no */include/FreeVerb.h" PARENT_SCOPE)
    return()
  endif()
  list(GET headers 0 header)
  get_filename_component(include_dir ${header} DIRECTORY)
  get_filename_component(root ${include_dir} DIRECTORY)
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# Downloads the pinned release into the build tree (once); `out` gets the
# archive's path, or stays empty with the reason in `why`.
function(plugins_download_stk out why)
  set(archive ${CMAKE_BINARY_DIR}/_deps/stk-${PLUGINS_STK_DOWNLOAD_COMMIT}.tar.gz)
  set(${out} "" PARENT_SCOPE)
  if(NOT EXISTS ${archive})
    message(STATUS "Downloading STK 4.6.2 from ${PLUGINS_STK_DOWNLOAD_URL}")
    file(DOWNLOAD ${PLUGINS_STK_DOWNLOAD_URL} ${archive}.part STATUS status TIMEOUT 120 INACTIVITY_TIMEOUT 30)
    list(GET status 0 code)
    if(NOT code EQUAL 0)
      file(REMOVE ${archive}.part)
      list(GET status 1 text)
      set(${why} "the download of ${PLUGINS_STK_DOWNLOAD_URL} failed (${text})" PARENT_SCOPE)
      return()
    endif()
    file(RENAME ${archive}.part ${archive})
  endif()
  set(${out} ${archive} PARENT_SCOPE)
endfunction()

# The static library `stk_windows` (alias stk::stk) from the source tree
# `root`, whose headers the plug-in includes as <stk/...>.
function(plugins_add_stk_from_source root)
  set(sources "")
  foreach(source ${PLUGINS_STK_SOURCES})
    if(NOT EXISTS ${root}/src/${source})
      message(FATAL_ERROR "STK sources in ${root}: src/${source} is missing")
    endif()
    list(APPEND sources ${root}/src/${source})
  endforeach()
  # STK's headers lie in include/ itself; a folder holding a link named stk
  # gives them the <stk/...> form the plug-in uses.
  set(headers ${CMAKE_BINARY_DIR}/_deps/stk-headers)
  file(REMOVE ${headers}/stk)
  file(MAKE_DIRECTORY ${headers})
  file(CREATE_LINK ${root}/include ${headers}/stk SYMBOLIC)
  add_library(stk_windows STATIC ${sources})
  target_include_directories(stk_windows PRIVATE ${root}/include)
  target_include_directories(stk_windows SYSTEM INTERFACE ${headers})
  # STK's switch for Windows (Stk::sleep calls Sleep); its realtime audio,
  # MIDI, file and socket parts, the only other users of its platform
  # switches, are not compiled.
  target_compile_definitions(stk_windows PRIVATE __OS_WINDOWS__)
  set_target_properties(stk_windows PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  add_library(stk::stk ALIAS stk_windows)
endfunction()

set(PLUGINS_STK_FOR_WINDOWS OFF)
set(PLUGINS_STK_LICENSE_DIR "")
set(stk_source_root "")
set(stk_missing "")
if(NOT STK_WINDOWS_PREFIX STREQUAL "")
  if(NOT EXISTS ${STK_WINDOWS_PREFIX}/include/stk/FreeVerb.h)
    set(stk_missing "${STK_WINDOWS_PREFIX}/include/stk/FreeVerb.h does not exist")
  elseif(NOT EXISTS ${STK_WINDOWS_PREFIX}/lib/libstk.a)
    set(stk_missing "${STK_WINDOWS_PREFIX}/lib/libstk.a does not exist")
  else()
    set(PLUGINS_STK_FOR_WINDOWS ON)
    set(PLUGINS_STK_LICENSE_DIR ${STK_WINDOWS_PREFIX})
    set(STK_INCLUDE_DIR ${STK_WINDOWS_PREFIX}/include CACHE PATH "STK's headers (the folder holding stk/)" FORCE)
    set(STK_LIBRARY ${STK_WINDOWS_PREFIX}/lib/libstk.a CACHE FILEPATH "STK's library" FORCE)
    message(STATUS "sonafilter.dll links the Windows STK in ${STK_WINDOWS_PREFIX}")
  endif()
elseif(NOT STK_SOURCE_DIR STREQUAL "")
  if(EXISTS ${STK_SOURCE_DIR}/include/FreeVerb.h)
    set(stk_source_root ${STK_SOURCE_DIR})
  else()
    set(stk_missing "${STK_SOURCE_DIR}/include/FreeVerb.h does not exist")
  endif()
elseif(NOT STK_SOURCE_ARCHIVE STREQUAL "")
  if(NOT EXISTS ${STK_SOURCE_ARCHIVE})
    set(stk_missing "${STK_SOURCE_ARCHIVE} does not exist")
  else()
    file(SHA256 ${STK_SOURCE_ARCHIVE} stk_archive_hash)
    if(NOT STK_SOURCE_SHA256 STREQUAL "" AND NOT stk_archive_hash STREQUAL STK_SOURCE_SHA256)
      message(FATAL_ERROR "STK_SOURCE_ARCHIVE ${STK_SOURCE_ARCHIVE} has the SHA-256 ${stk_archive_hash}, "
                          "not ${STK_SOURCE_SHA256} (STK_SOURCE_SHA256). Name the right archive, or set "
                          "STK_SOURCE_SHA256 to the checksum of the one you mean.")
    endif()
    plugins_unpack_stk(${STK_SOURCE_ARCHIVE} stk_source_root stk_missing)
  endif()
elseif(STK_DOWNLOAD)
  plugins_download_stk(stk_download stk_missing)
  if(NOT stk_download STREQUAL "")
    plugins_unpack_stk(${stk_download} stk_source_root stk_missing)
  endif()
else()
  set(stk_missing "none of STK_WINDOWS_PREFIX, STK_SOURCE_DIR and STK_SOURCE_ARCHIVE is set and STK_DOWNLOAD is off")
endif()

if(NOT stk_source_root STREQUAL "")
  plugins_add_stk_from_source(${stk_source_root})
  set(PLUGINS_STK_FOR_WINDOWS ON)
  set(PLUGINS_STK_LICENSE_DIR ${stk_source_root})
  message(STATUS "sonafilter.dll compiles STK from ${stk_source_root} (${PLUGINS_STK_SOURCES})")
endif()

if(NOT PLUGINS_STK_FOR_WINDOWS)
  message(WARNING "sonafilter.dll is skipped: it needs STK for 32-bit Windows, and ${stk_missing}. "
                  "Name STK's sources with -DSTK_SOURCE_ARCHIVE=<stk-4.6.2.tar.gz> or -DSTK_SOURCE_DIR=<folder>, "
                  "or a prebuilt STK with -DSTK_WINDOWS_PREFIX=<prefix> (holding include/stk/FreeVerb.h and "
                  "lib/libstk.a, built with i686-w64-mingw32-g++-posix). relaystore.dll, the stand-in engine "
                  "and the tests are built without it.")
endif()
