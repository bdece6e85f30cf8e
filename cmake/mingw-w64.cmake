# Cross-builds corvantis as Windows programs with Debian's g++-mingw-w64-x86-64-posix and
# runs the tests under wine64. Without Windows libraries only the OpenCV-free part
# (workspace, verdict and their tests) builds:
#
#   cmake -S . -B build-win --toolchain cmake/mingw-w64.cmake
#
# With the libraries of scripts/build-windows-deps.sh the whole program builds
# (corvantis.exe, its plugins and the DLLs they need, copied beside them):
#
#   cmake -S . -B build-win --toolchain cmake/mingw-w64.cmake \
#     -DCORVANTIS_WIN_DEPS=$(sh scripts/build-windows-deps.sh)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(corvantis_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${corvantis_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${corvantis_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${corvantis_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${corvantis_mingw} ${CORVANTIS_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

if(CORVANTIS_WIN_DEPS)
  set(CORVANTIS_WITH_OPENCV ON CACHE BOOL "Build the analyser and the program (needs OpenCV)")
else()
  set(CORVANTIS_WITH_OPENCV OFF CACHE BOOL "Build the analyser and the program (needs OpenCV)")
endif()
