#!/bin/sh
# Draws the README's two pictures in doc/: the explain sheet of the sample cell's
# reference against a capture slightly moved, on its backlight clipped to white, and of
# the same two drawn on a grey tray, where the object is the tray's noise. Each is
# scaled down and reduced to a few colours to stay small.
#   BUILD_DIR  build directory (default: build-test)
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh --test  # ImageMagick's convert
dir="${BUILD_DIR:-build-test}"
[ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" -G Ninja >/dev/null
cmake --build "$dir" --target corvantis-cell corvantis_make_samples
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

r1=examples/cell/robots/R1
"$dir/corvantis_make_samples" --tray "$tmp"
"$dir/corvantis-cell" explain "$r1/ref/part.png" "$r1/cap/cap_0001.png" 0.1 \
  --sheet "$tmp/backlight.png" >/dev/null
"$dir/corvantis-cell" explain "$tmp/part.png" "$tmp/cap_0001.png" 0.1 \
  --sheet "$tmp/tray.png" >/dev/null
mkdir -p doc
for name in backlight tray; do
  convert "$tmp/$name.png" -resize 720x +dither -colors 32 -strip "PNG8:doc/sheet-$name.png"
  echo "doc/sheet-$name.png"
done
