#!/usr/bin/env bash
# A mirror in mid-sync: where apt's installation fails, the set-up asks once
# more for the release's own versions, and else names the index apt could not
# fetch. An installation that works, or nothing missing, asks for no more.
# Each row: how the installations go, the status, apt's calls, a line shown.
source "$(dirname "$0")/../../scripts/lib.sh"
mivo_as_root() { "$@"; }
mivo_i386_programs() { echo i386 >>"$CALLS"; }
MIVO_PACKAGES=(wine32:i386)
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
fake=$(mktemp -d) && trap 'rm -rf "$fake"' EXIT
export PATH="$fake:$PATH" CALLS="$fake/calls"
export INDEX=http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz
printf '#!/bin/sh\n[ "$INSTALLS" = none ] && echo "install ok installed"\n' >"$fake/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$fake/dpkg"
cat >"$fake/apt-get" <<'APT' && chmod +x "$fake"/*
#!/bin/sh
echo "$*" >>"$CALLS"
[ "$1" = update ] && printf '%s\n' "Err:6 http://deb.debian.org/debian-security bookworm-security/main i386 Packages" \
  "E: Failed to fetch $INDEX  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" \
  "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2 && exit 100
set -- $INSTALLS && shift $(($(grep -c ^install "$CALLS") - 1))
[ "$1" = pass ] || { echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100; }
APT
status=0
while IFS='|' read -r installs want_status want_calls want_line; do
  : >"$CALLS"
  out=$(INSTALLS=$installs mivo_install_packages 2>&1)
  got_status=$? got_calls=$(paste -sd';' "$CALLS")
  [ "$got_status" = "$want_status" ] && [ "$got_calls" = "$want_calls" ] && grep -qF -- "$want_line" <<<"$out" ||
    { printf 'FAILED: %s: status %s, calls %s, output:\n%s\n' "$installs" "$got_status" "$got_calls" "$out"; status=1; }
done <<ROWS
fail pass|0|update -q;install -y -q wine32:i386;install -y -q -t $codename wine32:i386;i386|the mirror's newer index could not be read: installing $codename's own versions
fail fail|1|update -q;install -y -q wine32:i386;install -y -q -t $codename wine32:i386|the mirror may be in mid-sync: try again later. Index files apt could not fetch: $INDEX
pass|0|update -q;install -y -q wine32:i386;i386|installing: wine32:i386
none|0|i386|
ROWS
exit $status
