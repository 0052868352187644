# Cross build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686).
#
#   cmake --preset windows      (or: -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake)
#
# Floating point uses SSE2 (-msse2 -mfpmath=sse) instead of the x87 stack, so
# the effects compute in single and double precision exactly as on 64-bit
# builds, without x87 excess precision.
#
# Runtime linkage: the shared MinGW runtime.
#   Engine exceptions are C++ exceptions that the engine raises and catches,
#   and on their way they unwind through plug-in frames (engine -> plug-in ->
#   engine call that raises). The i686 compiler uses DWARF-2 unwinding, whose
#   unwinder keeps the table of registered frames per copy of libgcc. Measured
#   under Wine: with libgcc and libstdc++ linked statically into each module,
#   an exception thrown by the host through a frame of a DLL ends in
#   std::terminate; with the shared runtime it is caught by the host (the
#   LinkProtocol tests in tests/hostlink that raise through the probe plug-in
#   fail exactly so under a static runtime). So every
#   module (plug-in DLLs, the stand-in engine's executables) links the shared
#   runtime, and one copy of it serves the whole process: libgcc_s_dw2-1.dll,
#   libstdc++-6.dll and libwinpthread-1.dll (which that libstdc++ imports).
#   The build copies them beside every plug-in and test executable
#   (cmake/WindowsRuntime.cmake); they ship with the plug-ins and go beside
#   the host executable.
#
# Thread model: the "posix" variant of the compiler. The plug-ins start no
# threads and take no locks, but GoogleTest needs std::mutex, which the
# "win32" variant's libstdc++ (GCC 12) lacks.
#
# Tests run under Wine through CTest: the emulator below runs each Windows
# executable in the throw-away Wine prefix that the test run creates (see
# cmake/WindowsTests.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(PLUGINS_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${PLUGINS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PLUGINS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${PLUGINS_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${PLUGINS_MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump for the target's binaries")

set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# Headers and libraries come from the MinGW sysroot only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PLUGINS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
