#!/usr/bin/env bash
# Every man page renders without a single warning from groff and names the
# release in treepak/version.h (passed as the second argument) in its title.
set -euo pipefail
status=0
for page in "$1"/*.1; do
  out=$(groff -ww -z -man -Tutf8 "$page" 2>&1) || status=1
  if [ -n "$out" ]; then echo "$page:"; echo "$out"; status=1; fi
  grep -q "^\.TH .* \"treepak $2\" " "$page" || { echo "$page: title does not name treepak $2"; status=1; }
done
[ $status -eq 0 ] && echo "man pages clean"
exit $status
