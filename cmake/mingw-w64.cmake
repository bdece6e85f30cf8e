# Cross-builds the OpenCV-free part of corvantis (workspace, verdict and their tests) as
# Windows programs with Debian's g++-mingw-w64-x86-64-posix, and runs the tests under
# wine64:
#
#   cmake -S . -B build-win --toolchain cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(corvantis_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${corvantis_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${corvantis_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${corvantis_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${corvantis_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread linked in, so wine needs no MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

# There is no OpenCV for Windows here: the analyser and the program stay out.
set(CORVANTIS_WITH_OPENCV OFF CACHE BOOL "Build the analyser and the program (needs OpenCV)")
