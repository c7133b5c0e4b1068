#!/usr/bin/env bash
# Packs the bundled sample tree into a cabinet, lists and tests it with
# cabread, expands it into a new directory and shows that the two trees are
# equal.
set -euo pipefail
build=${1:-build}
tool="$build/app/treepak"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -a samples/tree "$work/tree"
echo "\$ treepak tree tree.CAB"
(cd "$work" && "$OLDPWD/$tool" -BATCH tree tree.CAB)
echo
echo "\$ cabread -l tree.CAB"
(cd "$work" && "$OLDPWD/$build/tools/cabread" -l tree.CAB)
echo
echo "\$ cabread -t tree.CAB"
(cd "$work" && "$OLDPWD/$build/tools/cabread" -t tree.CAB)
echo
echo "\$ treepak tree.CAB out"
(cd "$work" && "$OLDPWD/$tool" -BATCH tree.CAB out)
echo
ls -l "$work/tree.CAB"
if diff -r "$work/tree" "$work/out" >/dev/null; then
  echo "expanded tree equals the source tree ($(find "$work/tree" -type f | wc -l) files)"
else
  echo "expanded tree differs from the source tree" >&2
  diff -r "$work/tree" "$work/out" >&2 || true
  exit 1
fi
