#!/usr/bin/env bash
# Fuzzes the text logic for SECONDS (default 600):  scripts/fuzz.sh [SECONDS]
# New inputs collect in build/fuzz/tests/found; a crash is written next to
# them as crash-*.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$MIVO_ROOT"
seconds="${1:-600}"

mivo_install_packages
mivo_build fuzz
dir=build/fuzz/tests
mivo_log "fuzzing the text logic for ${seconds}s"
"$dir/fuzz_logic" -max_total_time="$seconds" -max_len=600 -print_final_stats=1 \
  -artifact_prefix="$dir/crash-" "$dir/found" tests/corpus 2>&1 | tee build/fuzz/fuzz.log |
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^Done [0-9]+ runs|ERROR' || true
exit "${PIPESTATUS[0]}"
