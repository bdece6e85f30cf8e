#!/bin/sh
# The Windows ZIP is complete: it holds both programs, both plugins, the README and the
# copyright file, and unpacked into an empty folder its corvantis.exe runs checks of the
# sample cell under wine with nothing else on its path, one of them on a TIFF image,
# which only the reader plugin (and OpenCV's codecs behind it) can read.
#
#   sh test/windows-zip.sh <Windows build directory> <source directory>
set -eu
build=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$work"/package/corvantis-*.zip)
program=$(echo "$work"/unpacked/*/corvantis.exe)
for file in corvantis-cell.exe corvantis-imread.dll corvantis-view.dll README.md copyright; do
  [ -f "$(dirname "$program")/$file" ] || { echo "windows-zip: no $file" >&2; exit 1; }
done

cp -r "$src/examples/cell" "$work/cell"
cp "$src/fuzz/corpus/image/grey.tiff" "$work/cell/robots/R1/cap/"
cd "$work/cell/bin"
for current in cap_0001.png grey.tiff; do
  out=$(/usr/lib/wine/wine64 "$program" 3 '..\robots\R1\ref\part.png' "..\\robots\\R1\\cap\\$current" 0.5)
  case "$out" in
    0 | 1) ;;
    *) echo "windows-zip: check of $current printed '$out'" >&2; exit 1 ;;
  esac
done
lines=$(grep -c "$(printf '\r')\$" ../robots/R1/debug/corvantis.log)
[ "$lines" -eq 2 ] || { echo "windows-zip: $lines journal lines, not 2" >&2; exit 1; }
echo "windows-zip: $(basename "$work"/package/corvantis-*.zip) runs checks from an empty folder"
