#!/usr/bin/env bash
# Every man page renders without a single warning from groff.
set -euo pipefail
status=0
for page in "$1"/*.1; do
  out=$(groff -ww -z -man -Tutf8 "$page" 2>&1) || status=1
  if [ -n "$out" ]; then echo "$page:"; echo "$out"; status=1; fi
done
[ $status -eq 0 ] && echo "man pages clean"
exit $status
