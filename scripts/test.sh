#!/usr/bin/env bash
# Runs every test of Mivo: installs what is missing, builds the host,
# sanitizer, Windows and fuzzing presets, and runs each tier through CTest.
# Exits non-zero when any test fails or any tier cannot run.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
cd "$MIVO_ROOT"

mivo_install_packages || { mivo_log "package installation failed"; exit 1; }
mivo_wine_prefix "$MIVO_ROOT/build/win32/wineprefix" || exit 1

passed=0
failed=0
broken=()

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
  mkdir -p "$MIVO_ROOT/build"
  ctest --preset "$preset" --timeout 900 2>&1 | tee "$log"
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

for preset in host host-asan win32 fuzz; do
  run_tier "$preset"
done

echo
if [ ${#broken[@]} -gt 0 ]; then
  mivo_log "tiers that could not run: ${broken[*]}"
fi
echo "mivo: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ ${#broken[@]} -eq 0 ]
