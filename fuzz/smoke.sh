#!/usr/bin/env bash
# Runs every fuzz target for a while (FUZZ_SECONDS, default 60) from its seeds
# in fuzz/seeds/<target>/ and the minimised corpus that longer runs grew in
# fuzz/corpus/<target>/; any crash, leak or timeout fails the run.
# Findings are left as crash-* files in the target's work directory.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for exe in "$build"/fuzz/*_fuzz; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe")
  exe=$(cd "$(dirname "$exe")" && pwd)/$name  # the run below changes directory
  mkdir -p "$work/$name/corpus"
  for source in "$root/fuzz/seeds/$name" "$root/fuzz/corpus/$name"; do
    if [ -d "$source" ]; then cp -r "$source/." "$work/$name/corpus/"; fi
  done
  echo "== $name: ${seconds}s"
  if ! (cd "$work/$name" && "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
          -print_final_stats=1 corpus >log.txt 2>&1); then
    echo "FAILED: $name"; tail -40 "$work/$name/log.txt"
    mkdir -p "$root/fuzz/findings"; cp "$work/$name"/crash-* "$work/$name"/timeout-* "$work/$name"/leak-* "$root/fuzz/findings/" 2>/dev/null || true
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$work/$name/log.txt" | sed 's/^/   /'
  fi
done
exit $status
