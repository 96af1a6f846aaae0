#!/usr/bin/env bash
# Runs every test of Mivo: installs what is missing, runs the static
# analysis, builds the host, sanitizer, Windows and fuzzing presets, and
# runs each tier through CTest (the Windows tier under Wine, its end-to-end
# tests in a virtual X display with a real tray).
# Exits non-zero when any test fails or any tier cannot run.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
cd "$MIVO_ROOT"

mivo_install_packages || { mivo_log "package installation failed"; exit 1; }
# The shared prefix, 32-bit, and the 64-bit one for the WOW64 rows.
mivo_wine_prefix "$MIVO_WINEPREFIX" win32 && mivo_wine_prefix "${MIVO_WINEPREFIX}64" win64 || exit 1

passed=0
failed=0
broken=()

mivo_log "== static analysis"
if bash scripts/analyze.sh; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

# run_tier PRESET: build it and run its tests; counts come from CTest's own
# summary line.
run_tier() {
  local preset="$1" log="$MIVO_ROOT/build/ctest-$1.log"
  mivo_log "== $preset: build"
  if ! mivo_build "$preset"; then
    broken+=("$preset (build)")
    return
  fi
  mivo_log "== $preset: test"
  ctest --preset "$preset" --timeout 1200 2>&1 | tee "$log"
  local summary
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    broken+=("$preset (no test summary)")
    return
  fi
  local bad total
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
  if [ "$total" -eq 0 ]; then
    broken+=("$preset (ran no test)")
  fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

mkdir -p build
for preset in host host-asan win32 fuzz; do
  run_tier "$preset"
done

echo
if [ ${#broken[@]} -gt 0 ]; then
  mivo_log "tiers that could not run: ${broken[*]}"
fi
echo "mivo: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ ${#broken[@]} -eq 0 ]
