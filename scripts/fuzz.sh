#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 600), one after another.
#   scripts/fuzz.sh [SECONDS]
# New inputs collect in build/fuzz/tests/fuzz/found-*; a crash is written
# next to them as crash-*.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$MIVO_ROOT"
seconds="${1:-600}"

mivo_install_packages
mivo_build fuzz
status=0
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="${target##*/fuzz_}"
  mivo_log "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -max_len=600 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/tests/fuzz/crash-$name-" \
    "build/fuzz/tests/fuzz/found-$name" "tests/fuzz/corpus/$name" \
    >"build/fuzz/fuzz-$name.log" 2>&1 || status=1
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^Done [0-9]+ runs' \
    "build/fuzz/fuzz-$name.log" || true
  [ $status -eq 0 ] || { mivo_log "$name failed: see build/fuzz/fuzz-$name.log"; break; }
done
exit $status
