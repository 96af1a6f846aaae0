#!/usr/bin/env bash
# Static analysis of the product code (not tests/): cppcheck, and clang-tidy
# with the checks in .clang-tidy, for the Windows build against the
# MinGW-w64 headers and for the host build of the text logic. Prints every
# finding; exits non-zero when there is one.
#   scripts/analyze.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$MIVO_ROOT"

mapfile -t win_files < <(find common logic platform autostart applet -name '*.cpp' | sort)
mapfile -t host_files < <(find logic platform/host -name '*.cpp' | sort)
status=0

# cppcheck takes the Windows API from its own model of it, not from the
# MinGW-w64 headers, which it cannot parse; that model lacks MAX_PATH.
cppcheck_run() {
  cppcheck --enable=warning,portability,performance --error-exitcode=1 --inline-suppr \
    --std=c++17 --language=c++ -I. --suppress=missingIncludeSystem --quiet \
    --template='{file}:{line}:{column}: {severity}: {message} [{id}]' "$@"
}
mivo_log "cppcheck: Windows build, then host build"
cppcheck_run --platform=win32A --library=windows -D_WIN32 -DMAX_PATH=260 "${win_files[@]}" ||
  status=1
cppcheck_run --platform=unix64 -U_WIN32 "${host_files[@]}" || status=1

# clang-tidy, one file at a time (after an error it would blame every later
# file), counts what it hides in system headers: only findings are shown.
tidy() { # FILE COMPILER-ARGUMENTS...
  local out rc=0
  out=$(clang-tidy --quiet "$1" -- "${@:2}" 2>&1) || rc=$?
  grep -v -e '^$' -e 'warnings\? \(and [0-9]* errors\? \)\?generated\.$' <<<"$out" || true
  return "$rc"
}
flags=(-std=c++17 -I. -Wall -Wextra -fno-exceptions -fno-rtti)
mivo_log "clang-tidy: Windows build, then host build"
for file in "${win_files[@]}"; do
  tidy "$file" --target=i686-w64-mingw32 --sysroot=/usr/i686-w64-mingw32 -march=i386 \
    "${flags[@]}" || status=1
done
for file in "${host_files[@]}"; do
  tidy "$file" "${flags[@]}" || status=1
done

[ "$status" -eq 0 ] && mivo_log "static analysis: no findings"
exit "$status"
