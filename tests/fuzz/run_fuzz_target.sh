#!/usr/bin/env bash
# Runs one fuzz target the way the test suite does: every file of its committed corpus once,
# then SECONDS of fuzzing. New inputs go to a scratch corpus in the build tree, a crash to
# WORK/crash-* (and the test fails).
#   run_fuzz_target.sh TARGET CORPUS WORK SECONDS
set -euo pipefail
target=$1 corpus=$2 work=$3 seconds=$4
# A small quarantine: fewer fresh pages, many more runs in the same time.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=4:max_malloc_fill_size=0}
rm -rf "$work/new"
mkdir -p "$work/new"
exec "$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/new" "$corpus"
