#!/bin/sh
# Saves pictures of the investigation window with a whois, a reverse DNS, an
# abuse contact and a trace tab filled, at 100% and 200% scaling, into OUTDIR.
# The trace runs through network namespaces of its own: run as root.
# Usage: scripts/screenshots-investigation.sh OUTDIR [BUILD_DIR]
set -e
if [ $# -lt 1 ]; then
    echo "usage: $0 OUTDIR [BUILD_DIR]" >&2
    exit 2
fi
out="$1"
build="${2:-build}"
mkdir -p "$out"
out=$(cd "$out" && pwd)
cmake --build "$build" -j2 --target investigation_screens >/dev/null
program="$build/bin/investigation_screens"
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=1 "$program" "$out" 100
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 "$program" "$out" 200
