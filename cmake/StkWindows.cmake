# STK for the Windows build of sonafilter.
#
# This repository never builds STK. The Windows build links an STK that was
# built for 32-bit Windows with the same MinGW-w64 compiler (i686, DWARF-2
# exceptions, posix threads) and installed under one prefix, named by
# STK_WINDOWS_PREFIX:
#   ${STK_WINDOWS_PREFIX}/include/stk/FreeVerb.h   (STK's headers, included as <stk/...>)
#   ${STK_WINDOWS_PREFIX}/lib/libstk.a             (the static library)
# A static library keeps sonafilter.dll free of further DLLs beside the MinGW
# runtime. Sets PLUGINS_STK_FOR_WINDOWS to ON when that STK is usable, and
# then the cache entries STK_INCLUDE_DIR and STK_LIBRARY point at it (the
# imported target stk::stk is made from them in sonafilter/CMakeLists.txt,
# as for every build); otherwise explains why sonafilter.dll is skipped.
set(STK_WINDOWS_PREFIX "" CACHE PATH
    "Prefix of an STK built for 32-bit Windows with MinGW-w64 (include/stk/FreeVerb.h, lib/libstk.a)")

set(PLUGINS_STK_FOR_WINDOWS OFF)
set(stk_header ${STK_WINDOWS_PREFIX}/include/stk/FreeVerb.h)
set(stk_library ${STK_WINDOWS_PREFIX}/lib/libstk.a)
if(STK_WINDOWS_PREFIX STREQUAL "")
  set(stk_missing "STK_WINDOWS_PREFIX is not set")
elseif(NOT EXISTS ${stk_header})
  set(stk_missing "${stk_header} does not exist")
elseif(NOT EXISTS ${stk_library})
  set(stk_missing "${stk_library} does not exist")
else()
  set(PLUGINS_STK_FOR_WINDOWS ON)
endif()

if(PLUGINS_STK_FOR_WINDOWS)
  set(STK_INCLUDE_DIR ${STK_WINDOWS_PREFIX}/include CACHE PATH "STK's headers (the folder holding stk/)" FORCE)
  set(STK_LIBRARY ${stk_library} CACHE FILEPATH "STK's library" FORCE)
  message(STATUS "sonafilter.dll links the Windows STK in ${STK_WINDOWS_PREFIX}")
else()
  message(WARNING "sonafilter.dll is skipped: it needs an STK built for 32-bit Windows, and ${stk_missing}. "
                  "Point the build at one with -DSTK_WINDOWS_PREFIX=<prefix> (holding include/stk/FreeVerb.h "
                  "and lib/libstk.a, built with i686-w64-mingw32-g++-posix). relaystore.dll, the stand-in engine "
                  "and the tests are built without it.")
endif()
