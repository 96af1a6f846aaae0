#!/usr/bin/env bash
# Repeats one CTest test to find faults that come and go: builds once, runs
# the test N times, prints each run's result and time, and at the end the
# number of failures. A failing run's output (and, for e2e, its Wine logs)
# stays in build/soak/TEST-RUN/ (emptied at each start).
#   scripts/soak.sh [TEST [N [PRESET]]]      (default: e2e 20 win32)
# TEST is the exact test name, as `ctest --preset PRESET -N` lists it.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
cd "$MIVO_ROOT" || exit 2
test="${1:-e2e}" runs="${2:-20}" preset="${3:-win32}"
keep="$MIVO_ROOT/build/soak"

if ! { mivo_install_packages && mivo_wine_prefix && mivo_build "$preset" >/dev/null; }; then
  mivo_log "cannot build $preset"
  exit 2
fi
# Counted without the set-up tests that make its Wine prefix (-FA).
ctest --preset "$preset" -N -R "^$test\$" -FA ".*" | grep -q 'Total Tests: 1$' ||
  { mivo_log "$preset has no test named $test"; exit 2; }
rm -rf "$keep" && mkdir -p "$keep"
failed=0
for ((run = 1; run <= runs; run++)); do
  out="$keep/$test-$run.log" start=$SECONDS
  if ctest --preset "$preset" -R "^$test\$" --output-on-failure >"$out" 2>&1; then
    result=passed
    rm -f "$out"
  else
    result=FAILED failed=$((failed + 1))
    logs="build/$preset/tests/e2e/logs"
    [ "$test" = e2e ] && [ -d "$logs" ] && cp -r "$logs" "$keep/$test-$run"
  fi
  printf '%s run %d/%d: %s in %d s\n' "$test" "$run" "$runs" "$result" $((SECONDS - start))
done
echo "$test: $failed of $runs runs failed"
[ "$failed" -eq 0 ]
