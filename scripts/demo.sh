#!/bin/sh
# Builds corvantis and runs one check on the bundled sample cell: the reference part
# against a capture of it slightly moved on the tray.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

cell="$(pwd)/examples/cell"
echo "check: corvantis 12 $cell/robots/R1/ref/part.png $cell/robots/R1/cap/cap_0001.png 0.1"
verdict=$(cd "$cell/bin" && ../../../build/corvantis 12 "$cell/robots/R1/ref/part.png" \
  "$cell/robots/R1/cap/cap_0001.png" 0.1)
echo "verdict: $verdict"
echo "journal: $(tail -n 1 "$cell/robots/R1/debug/corvantis.log")"
echo "store:   $(cat "$cell/robots/R1/corvantis.dat")"
