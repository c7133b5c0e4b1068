#!/usr/bin/env bash
# Runs the codec benchmarks and the side-by-side comparison of the tool with
# zip, unzip and tar on the same data, in one run on this machine.
set -euo pipefail
build=${1:-build-bench}
root=$(cd "$(dirname "$0")/.." && pwd)
# The block deflate benchmark's fourth input: x86 code from a shared library.
if [ -z "${TREEPAK_BENCH_FILE:-}" ]; then
  for lib in /usr/lib/x86_64-linux-gnu/libstdc++.so.6 /usr/lib/x86_64-linux-gnu/libc.so.6; do
    if [ -e "$lib" ]; then
      export TREEPAK_BENCH_FILE=$(readlink -f "$lib")
      break
    fi
  done
fi
# The codec benchmarks run with the whole comparison, not with one group of rows.
[ "${BENCH_ROWS:-all}" = all ] && for exe in "$build"/bench/*_bench; do
  [ -x "$exe" ] || continue
  echo "== $(basename "$exe")"
  "$exe" --benchmark_min_time=0.2 2>/dev/null | grep -v '^\*\*\*'
done
# The decoder against libdeflate, in rounds that alternate the two, with the
# ratio of their times within each round.
[ "${BENCH_ROWS:-all}" = all ] && [ -x "$build/bench/deflate_decode_bench" ] && {
  echo "== block-deflate decoding against libdeflate (CPU, ${BENCH_DECODE_ROUNDS:-5} rounds)"
  python3 "$root/bench/interleaved_runs.py" "$build/bench/deflate_decode_bench" "${BENCH_DECODE_ROUNDS:-5}"
}
python3 "$root/bench/compare.py" --tool "$build/app/treepak" --measure "$build/bench/measure_command" --cabwrite "$build/tools/cabwrite" --cabread "$build/tools/cabread" --data "$root/bench/data" --runs "${BENCH_RUNS:-3}" --rows "${BENCH_ROWS:-all}"
