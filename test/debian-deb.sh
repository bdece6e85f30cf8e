#!/bin/sh
# The .deb installs into a fresh minimal Debian 12 and runs the demo check there: builds
# the package in <Linux build directory>, makes the root with debootstrap, installs the
# package with apt (which fetches its dependencies), finds a man page for each program
# and the copyright file and README in /usr/share/doc/corvantis, and runs a check on the
# sample cell. Needs root and the network.
#
#   sh test/debian-deb.sh <Linux build directory> <source directory>
set -eu
build=$1
src=$2
work=$(mktemp -d /var/tmp/corvantis-deb.XXXXXX)
root=$work/root
cleanup() {
  umount "$root/proc" 2>/dev/null || :
  rm -rf "$work"
}
trap cleanup EXIT

command -v debootstrap >/dev/null || apt-get install -y -q --no-install-recommends debootstrap
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
deb=$(echo "$work"/package/corvantis_*.deb)
dpkg-deb -f "$deb" Depends

# The root's packages come from the archive this machine's apt uses.
mirror=$(sh "$src/scripts/apt-archive.sh" bookworm)
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -20 "$work/debootstrap.log" >&2; exit 1; }
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
cp -r "$src/examples/cell" "$root/cell"
chroot "$root" apt-get update -q >/dev/null
DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -q --no-install-recommends \
  "/tmp/$(basename "$deb")" >"$work/install.log" 2>&1 || { tail -20 "$work/install.log" >&2; exit 1; }
for program in corvantis corvantis-cell; do
  LC_ALL=C man -l "$root/usr/share/man/man1/$program.1.gz" 2>/dev/null | grep -qE "^ *$program +- " ||
    { echo "debian-deb: no man page $program.1.gz with its NAME line" >&2; exit 1; }
done
for file in copyright README.md.gz; do
  [ -s "$root/usr/share/doc/corvantis/$file" ] ||
    { echo "debian-deb: no /usr/share/doc/corvantis/$file" >&2; exit 1; }
done
out=$(chroot "$root" sh -c 'cd /cell/bin && corvantis 1 ../robots/R1/ref/part.png ../robots/R1/cap/cap_0001.png 0.5')
case "$out" in
  0 | 1) ;;
  *) echo "debian-deb: the check printed '$out'" >&2; exit 1 ;;
esac
[ -s "$root/cell/robots/R1/debug/corvantis.log" ] || { echo "debian-deb: no journal line" >&2; exit 1; }
echo "debian-deb: $(basename "$deb") installs into a fresh Debian 12 and checks (verdict $out)"
