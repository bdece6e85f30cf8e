#!/bin/sh
# Builds corvantis and runs it on a copy of the bundled sample cell: one check of the
# reference part against a capture of it slightly moved, then the commissioning of the
# step on the sample's good and bad captures.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
# A directory of its own: the README's plain build in build/ uses CMake's default
# generator, and one directory cannot serve two generators.
dir=build-demo
cmake -S . -B "$dir" -G Ninja >/dev/null
cmake --build "$dir" --target corvantis corvantis-cell
bin="$(pwd)/$dir"

# A fresh copy each run: the checks write their journal and store into the cell, and the
# sample in the sources keeps its images alone (the tests copy them). The copy keeps the
# file times: a check stores no reference written in its own second.
cell="$bin/cell"
rm -rf "$cell"
cp -Rp examples/cell "$cell"
r1="$cell/robots/R1"

echo "check: corvantis 12 $r1/ref/part.png $r1/cap/cap_0001.png 0.1"
verdict=$(cd "$cell/bin" && "$bin/corvantis" 12 "$r1/ref/part.png" "$r1/cap/cap_0001.png" 0.1)
echo "verdict: $verdict"
echo "journal: $(tail -n 1 "$r1/debug/corvantis.log")"
echo "store:   $(cat "$r1/corvantis.dat")"

# The step commissioned: which tolerance tells the sample's good captures from its bad
# ones.
echo
echo "tune: corvantis-cell tune ref/part.png --good cap/good/*.png --bad cap/bad/*.png (in $r1)"
(cd "$r1" && "$bin/corvantis-cell" tune ref/part.png --good cap/good/*.png --bad cap/bad/*.png)
