#!/bin/sh
# Builds corvantis and runs one check on the bundled sample cell: the reference part
# against a capture of it slightly moved on the tray.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
# A directory of its own: the README's plain build in build/ uses CMake's default
# generator, and one directory cannot serve two generators.
dir=build-demo
cmake -S . -B "$dir" -G Ninja >/dev/null
cmake --build "$dir" --target corvantis

cell="$(pwd)/examples/cell"
echo "check: corvantis 12 $cell/robots/R1/ref/part.png $cell/robots/R1/cap/cap_0001.png 0.1"
verdict=$(cd "$cell/bin" && "../../../$dir/corvantis" 12 "$cell/robots/R1/ref/part.png" \
  "$cell/robots/R1/cap/cap_0001.png" 0.1)
echo "verdict: $verdict"
echo "journal: $(tail -n 1 "$cell/robots/R1/debug/corvantis.log")"
echo "store:   $(cat "$cell/robots/R1/corvantis.dat")"
