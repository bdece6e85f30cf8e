#!/bin/sh
# Installs the Debian packages that building, testing and the demo need, and only those
# that are missing. Run as root on Debian 12.
set -eu

packages="g++ cmake ninja-build pkg-config libopencv-dev libgtest-dev"
# --test: the end-to-end tests of the view mode and valgrind; --fuzz: the libFuzzer
# targets (clang with its sanitizer and fuzzer runtimes).
[ "${1:-}" = "--test" ] && packages="$packages xvfb xdotool imagemagick x11-utils valgrind"
[ "${1:-}" = "--fuzz" ] && packages="$packages clang libclang-rt-14-dev"

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
