#!/bin/sh
# Runs every benchmark program of the build.
set -e
build="${1:-build}"
for program in "$build"/bin/bench_*; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    "$program" --benchmark_counters_tabular=true
done
