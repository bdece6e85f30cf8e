#!/bin/sh
# Builds the libFuzzer targets with clang and runs each one for a bounded time on a copy
# of its seed corpus (fuzz/corpus/<name>/). A crash stops the script; its input is left
# in build-fuzz/artifacts/ for the seed corpus and a regression test.
#   FUZZ_SECONDS  time per target (default: 60)
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh --fuzz
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCORVANTIS_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" --target corvantis_fuzzers
mkdir -p "$dir/artifacts"
for name in $(tr ';' ' ' < "$dir/fuzzers.txt"); do
  mkdir -p "$dir/corpus/$name"
  echo "fuzz: $name for ${FUZZ_SECONDS:-60} s"
  # The first directory collects new inputs; the seeds in the repository stay as they are.
  "$dir/corvantis_fuzz_$name" -max_total_time="${FUZZ_SECONDS:-60}" -timeout=10 \
    -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$dir/artifacts/$name-" \
    "$dir/corpus/$name" "fuzz/corpus/$name" 2>"$dir/$name.log" || {
    tail -n 40 "$dir/$name.log" >&2
    exit 1
  }
  grep -E "^Done|stat::number_of_executed_units" "$dir/$name.log" | head -n 2
done
