#!/bin/sh
# Runs every libFuzzer target of the build for a while.
#   run-fuzz.sh BUILD_DIR SECONDS [TARGET]
# Each target grows its corpus in BUILD_DIR/corpus/<target>, starting from
# the seeds in fuzz/seeds/<target>; a finding is saved as
# BUILD_DIR/findings/<target>/crash-* (or leak-*, timeout-*) and fails the run.
set -u
build="$1"
seconds="$2"
only="${3:-}"
root="$(cd "$(dirname "$0")/.." && pwd)"
failed=""
for program in "$build"/bin/fuzz_*; do
    [ -x "$program" ] || continue
    name=$(basename "$program")
    [ -z "$only" ] || [ "$only" = "$name" ] || continue
    corpus="$build/corpus/$name"
    findings="$build/findings/$name"
    mkdir -p "$corpus" "$findings"
    echo "== $name ($seconds s)"
    if ! "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
            -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$root/fuzz/seeds/$name" \
            >"$build/$name.log" 2>&1; then
        failed="$failed $name"
        tail -n 40 "$build/$name.log"
    else
        grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$build/$name.log" | tr '\n' ' '
        echo
    fi
done
if [ -n "$failed" ]; then
    echo "Findings in:$failed (see $build/findings/)" >&2
    exit 1
fi
echo "No findings."
