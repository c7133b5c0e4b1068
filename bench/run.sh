#!/usr/bin/env bash
# Runs the codec benchmarks and the side-by-side comparison of the tool with
# zip, unzip and tar on the same data, in one run on this machine.
set -euo pipefail
build=${1:-build-bench}
root=$(cd "$(dirname "$0")/.." && pwd)
for exe in "$build"/bench/*_bench; do
  [ -x "$exe" ] || continue
  echo "== $(basename "$exe")"
  "$exe" --benchmark_min_time=0.2 2>/dev/null | grep -v '^\*\*\*'
done
python3 "$root/bench/compare.py" --tool "$build/app/treepak" --measure "$build/bench/measure_command" --data "$root/bench/data" --runs "${BENCH_RUNS:-3}"
