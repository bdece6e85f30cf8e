#!/bin/sh
# The Windows program gives what the Linux program gives: the same checks run on two
# copies of a cell, one by each (the Windows one under wine, with Windows paths), must
# leave the same stdout, exit status, journal line (less its time stamp) and store, for
# every image of the sample cell and of the image seeds.
#
#   sh test/windows-equal.sh <Linux corvantis> <corvantis.exe> <source directory>
set -eu
linux=$1
windows=$2
src=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Runs one check in <cell>/bin; the reference and the current image are relative paths
# with the system's own separator.
check() {
  side=$1
  cell=$2
  ref=$3
  cur=$4
  (
    cd "$cell/bin"
    if [ "$side" = linux ]; then
      set +e
      "$linux" 7 "../robots/R1/$ref" "../robots/R1/$cur" 0.25 >>"$cell/out" 2>>"$cell/err"
    else
      set +e
      /usr/lib/wine/wine64 "$windows" 7 "..\\robots\\R1\\$(echo "$ref" | tr / '\\')" \
        "..\\robots\\R1\\$(echo "$cur" | tr / '\\')" 0.25 >>"$cell/out" 2>>"$cell/err"
    fi
    echo " status $?" >>"$cell/out"
  )
}

failed=0
count=0
for image in $(find "$src/examples" "$src/fuzz/corpus/image" -type f ! -name .keep ! -name '*.cpp' | sort); do
  name=$(basename "$image")
  for side in linux windows; do
    cell=$work/$side
    rm -rf "$cell"
    mkdir -p "$cell/bin" "$cell/var/tmp" "$cell/robots/R1/debug" "$cell/robots/R1/ref"
    cp "$image" "$cell/robots/R1/ref/$name"
    cp "$src/examples/cell/robots/R1/cap/cap_0001.png" "$cell/robots/R1/sample.png"
    touch -d "2026-01-02 03:04:05" "$cell/robots/R1/ref/$name" "$cell/robots/R1/sample.png"
    # The image as reference (its signature goes to the store), then as the current
    # image, then as reference again (its signature now read from the store).
    check $side "$cell" "ref/$name" sample.png
    check $side "$cell" sample.png "ref/$name"
    check $side "$cell" "ref/$name" sample.png
    sed 's/^\[[^]]*\] - //' "$cell/robots/R1/debug/corvantis.log" >"$cell/journal" 2>/dev/null || :
  done
  count=$((count + 1))
  for what in out journal robots/R1/corvantis.dat; do
    if [ -e "$work/linux/$what" ] || [ -e "$work/windows/$what" ] &&
      ! cmp -s "$work/linux/$what" "$work/windows/$what"; then
      echo "windows-equal: $name: $what differs" >&2
      diff "$work/linux/$what" "$work/windows/$what" | cat -A | head -20 >&2 || :
      failed=1
    fi
  done
done
[ "$failed" -eq 0 ] || exit 1
echo "windows-equal: $count images give the same results"
