#!/bin/sh
# Installs the Debian packages that building, testing and the demo need, and only those
# that are missing. Run as root on Debian 12.
#   --test     also the virtual display, the X tools, valgrind and the headless browser
#              that the tests use
#   --fuzz     also clang with its fuzzer and sanitizer runtimes, for fuzz/
#   --windows  also the MinGW cross compiler, wine64 and GoogleTest's sources, for the
#              Windows build of the tests (scripts/build-windows-deps.sh adds what it needs)
#   --package  also dpkg-shlibdeps for the .deb's dependencies and debootstrap for its test
set -eu

# make: the default generator of a plain `cmake -S . -B build`; the scripts use Ninja.
# help2man: the man pages, made from the built programs' help.
packages="g++ make cmake ninja-build pkg-config libopencv-dev libpng-dev libjpeg62-turbo-dev libx11-dev libgtest-dev help2man"
for flag in "$@"; do
  case "$flag" in
    --test) packages="$packages xvfb xdotool imagemagick valgrind chromium" ;;
    --fuzz) packages="$packages clang libclang-rt-14-dev" ;;
    --bench) packages="$packages hyperfine time" ;;
    --windows) packages="$packages g++-mingw-w64-x86-64-posix wine64 googletest" ;;
    --package) packages="$packages dpkg-dev debootstrap" ;;
    *) echo "install-deps: unknown option $flag" >&2; exit 2 ;;
  esac
done

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages:$missing (run as root to install them)" >&2
  exit 1
fi
echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends $missing
