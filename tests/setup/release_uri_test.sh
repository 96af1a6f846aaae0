#!/usr/bin/env bash
# The backports source takes its mirror from the machine's own apt sources:
# the release's URI from each sample form, none for a release none names.
source "$(dirname "$0")/../../scripts/lib.sh"
cd "$(dirname "$0")" && status=0
while read -r codename file expected; do
  found=$(mivo_release_uri "$codename" "$file")
  [ "$found" = "$expected" ] || { echo "FAILED: $codename in $file: '$found', not '$expected'"; status=1; }
done <<'ROWS'
bookworm debian.sources http://mirror.invalid/debian
bookworm sources.list http://proxy.invalid:3142/debian
trixie debian.sources
ROWS
exit $status
