#!/bin/sh
# Installs the Debian packages that building, testing and the demo need, and only those
# that are missing. Run as root on Debian 12.
set -eu

packages="g++ cmake ninja-build pkg-config libopencv-dev libpng-dev libjpeg62-turbo-dev libgtest-dev"
[ "${1:-}" = "--test" ] && packages="$packages xvfb xdotool imagemagick x11-utils"
[ "${1:-}" = "--bench" ] && packages="$packages hyperfine time"

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
