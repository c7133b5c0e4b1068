#!/usr/bin/env bash
# Installs the build into a temporary prefix (through DESTDIR as packagers
# do), then builds and runs a small program against the installed headers and
# library found with pkg-config: the public headers must stand alone. Lists
# what the library exports beyond the API (FCI*, FEI*) and the treepak::
# namespace; with "strict" as fourth argument any such symbol fails the test.
set -euo pipefail
build=$1
cxx=${2:-g++}
client_flags=${3:-}
exports=${4:-report}
here=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
prefix=/opt/treepak-test
DESTDIR="$stage" cmake --install "$build" --prefix "$prefix" >/dev/null
root="$stage$prefix"
for f in bin/treepak bin/cabwrite bin/cabread share/man/man1/treepak.1 share/man/man1/cabwrite.1 \
         share/man/man1/cabread.1 share/bash-completion/completions/cabread share/bash-completion/completions/cabwrite \
         share/bash-completion/completions/treepak lib/libtreepak.a lib/pkgconfig/treepak.pc \
         include/treepak/fci.h include/treepak/fei.h include/treepak/format.h include/treepak/version.h; do
  [ -e "$root/$f" ] || { echo "missing after install: $f"; exit 1; }
done
# The .pc file finds its prefix from where it lies, so the staged copy works.
export PKG_CONFIG_PATH="$root/lib/pkgconfig"
flags=$(pkg-config --cflags --libs treepak)
# Flags, not "$flags": pkg-config output is a word list.
# shellcheck disable=SC2086  # (and $client_flags)
"$cxx" -std=c++20 -Wall -Wextra -Werror $client_flags -o "$stage/client" "$here/client.cpp" $flags
mkdir "$stage/tree"
"$stage/client" "$stage/tree"
"$root/bin/treepak" >/dev/null

# Defined global symbols that are neither the API nor in namespace treepak
# (the standard library's inline instances, with or without a return type in
# front, and the compiler's unwinding references aside). The public headers'
# inline constants are API too: unoptimised builds emit them where used.
header_constants=$(grep -ho 'inline constexpr [^=]*' "$root"/include/treepak/*.h |
                   sed -E 's/\[.*//; s/ +$//; s/.* //' | grep -E '^[A-Za-z_0-9]+$' | paste -sd'|' -)
strays=$(nm -gC --defined-only "$root/lib/libtreepak.a" | awk 'NF >= 3 { $1 = $2 = ""; print substr($0, 3) }' |
         grep -Ev '^(FCI|FEI)|^treepak::|^([^(<]* )?(std|__gnu_cxx)::|^DW\.ref\.|^(typeinfo|vtable|guard variable|VTT) for (std|__gnu_cxx)::' |
         grep -Evx "${header_constants:-^$}" | sort -u || true)
if [ -n "$strays" ]; then
  echo "libtreepak.a exports $(wc -l <<<"$strays") symbols beyond the API, e.g.:"
  head -5 <<<"$strays"
  [ "$exports" = strict ] && exit 1
fi
echo "install test passed"
