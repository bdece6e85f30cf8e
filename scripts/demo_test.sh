#!/bin/sh
# The README's first command as a new user meets it, checked: the demo in this tree
# after the README's plain build has been configured (the two must not share a build
# directory, since one directory cannot serve two generators). Prints the demo's output;
# fails unless the check accepts, tune separates the sample's good and bad captures, and
# the sample cell in examples/ is left exactly as it was, so that the tests run next
# find it as on a fresh clone.
set -eu
cd "$(dirname "$0")/.."
listing="$(mktemp)"
trap 'rm -f "$listing"' EXIT
sample() { find examples -type f -exec cksum {} + | sort; }
sample >"$listing"
cmake -S . -B build >/dev/null
output="$(sh scripts/demo.sh)"
echo "$output"
echo "$output" | grep -qx "verdict: 1"
r1=build-demo/cell/robots/R1
build-demo/corvantis-cell tune "$r1/ref/part.png" --good "$r1"/cap/good/*.png \
  --bad "$r1"/cap/bad/*.png --json | grep -Eq '"separable": *true'

sample | diff "$listing" - >&2 || {
  echo "demo_test: the demo changed the sample cell in examples/ (above)" >&2
  exit 1
}
