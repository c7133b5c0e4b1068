#!/usr/bin/env bash
# Installs the build into a temporary prefix (through DESTDIR as packagers
# do), then builds and runs a small program against the installed headers and
# library found with pkg-config: the public headers must stand alone.
set -euo pipefail
build=$1
cxx=${2:-g++}
client_flags=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
prefix=/opt/treepak-test
DESTDIR="$stage" cmake --install "$build" --prefix "$prefix" >/dev/null
root="$stage$prefix"
for f in bin/treepak bin/cabwrite bin/cabread share/man/man1/treepak.1 share/man/man1/cabwrite.1 \
         share/man/man1/cabread.1 share/bash-completion/completions/cabread share/bash-completion/completions/cabwrite \
         share/bash-completion/completions/treepak lib/libtreepak.a lib/pkgconfig/treepak.pc \
         include/treepak/fci/fci.h include/treepak/fei/fei.h include/treepak/cabinet/format.h; do
  [ -e "$root/$f" ] || { echo "missing after install: $f"; exit 1; }
done
# The .pc file finds its prefix from where it lies, so the staged copy works.
export PKG_CONFIG_PATH="$root/lib/pkgconfig"
flags=$(pkg-config --cflags --libs treepak)
# Flags, not "$flags": pkg-config output is a word list.
# shellcheck disable=SC2086  # (and $client_flags)
"$cxx" -std=c++20 -Wall -Wextra -Werror $client_flags -o "$stage/client" "$here/client.cpp" $flags
"$stage/client"
"$root/bin/treepak" >/dev/null
echo "install test passed"
