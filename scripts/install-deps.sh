#!/usr/bin/env bash
# Installs the Debian packages a fresh machine lacks for building and testing.
set -euo pipefail
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v make >/dev/null || need+=(make)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev libgmock-dev)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
command -v pkg-config >/dev/null || need+=(pkg-config)
# The fuzz targets' input splitter, which the corpus replay tests build with g++.
compgen -G '/usr/lib/llvm-*/lib/clang/*/include/fuzzer/FuzzedDataProvider.h' >/dev/null || need+=(libclang-rt-14-dev)
for extra in "$@"; do
  case "$extra" in
    clang) command -v clang++ >/dev/null && [ -d /usr/lib/llvm-14/lib/clang ] || need+=(clang libclang-rt-14-dev) ;;
    bench) [ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
           command -v zip >/dev/null || need+=(zip)
           command -v unzip >/dev/null || need+=(unzip)
           command -v xz >/dev/null || need+=(xz-utils)
           command -v pigz >/dev/null || need+=(pigz)
           [ -f /usr/include/libdeflate.h ] || need+=(libdeflate-dev) ;;
    *) need+=("$extra") ;;
  esac
done
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" >/dev/null
fi
