#!/usr/bin/env bash
# Non-blank lines of code: the product, its tests, the fuzz targets (not
# their corpora) and the benchmarks, and the share of tests and fuzz
# targets in the whole, which the project keeps between 0.25 and 0.33.
set -euo pipefail
cd "$(dirname "$0")/.."
# Fuzz inputs and the benchmark's copied data sets are not code.
count() {
  find "$@" -type d \( -name corpus -o -name seeds -o -path bench/data \) -prune -o -type f \
       \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.cc' -o -name '*.py' -o -name '*.sh' \) -print0 |
    xargs -0 -r cat | grep -c '[^[:space:]]' || true
}
product=$(count app cabinet compress decompress fci fei platform tools)
tests=$(count tests)
fuzz=$(count fuzz)
bench=$(count bench)
total=$((product + tests + fuzz + bench))
printf 'product %6d\ntests   %6d\nfuzz    %6d\nbench   %6d\ntotal   %6d\n' "$product" "$tests" "$fuzz" "$bench" "$total"
awk -v t=$((tests + fuzz)) -v all="$total" 'BEGIN { printf "test share %.3f (tests + fuzz over total; kept between 0.25 and 0.33)\n", t / all }'
