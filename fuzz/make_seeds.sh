#!/usr/bin/env bash
# Regenerates the seed corpora of the fuzz targets whose inputs are cabinets,
# executables or command lines, from the kinds of cabinets the test suite
# builds: stored, block deflate and LZX folders, reserve areas, a folder per
# file, and a set of two cabinets. Needs the cabwrite and treepak binaries of
# a build directory (first argument, default build-fuzz).
#
#   bash fuzz/make_seeds.sh build-fuzzer
#
# Seed layouts follow each target's header comment: fei_fuzz takes one
# control byte (bit 0: serve as a set of two) and a 16-bit little-endian cut
# position before the cabinet bytes; deflate_compressor_fuzz takes a control
# byte and a reset mask before the data.
set -euo pipefail
build=${1:-build-fuzz}
root=$(cd "$(dirname "$0")/.." && pwd)
cabwrite="$root/$build/tools/cabwrite"
seeds="$root/fuzz/seeds"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A small tree: prose that compresses, a few noisy bytes, runs, an empty file.
mkdir -p "$work/tree/sub/deep"
for i in 1 2 3 4 5 6; do echo "line $i of the sample text, repeated to give matches"; done >"$work/tree/prose.txt"
head -c 300 /dev/zero | tr '\0' 'a' >"$work/tree/sub/runs.bin"
printf '\x01\x7f\x80\xff\x00\x10\x20\x30\x41\x52' >"$work/tree/sub/deep/noise.bin"
: >"$work/tree/empty.txt"

cut16() {  # control byte, 16-bit cut position, then the cabinet bytes
    python3 -c 'import sys; c,n=int(sys.argv[1]),int(sys.argv[2]); sys.stdout.buffer.write(bytes([c,n&255,n>>8]))' "$1" "$2"
}

mkdir -p "$seeds/fei_fuzz" "$seeds/overlay_fuzz" "$seeds/command_line_fuzz" "$seeds/deflate_compressor_fuzz"
one_cabinet() {  # name, cabwrite options...
    local name=$1
    shift
    rm -f "$work"/out*.cab
    "$cabwrite" "$@" "$work/out.cab" "$work/tree" >/dev/null
    { cut16 0 0; cat "$work/out.cab"; } >"$seeds/fei_fuzz/$name"
}
one_cabinet deflate -t deflate
one_cabinet lzx15 -t lzx:15
one_cabinet lzx21 -t lzx:21
one_cabinet folder_per_file -t deflate -f -X
one_cabinet reserves -t none --header-reserve 20 --folder-reserve 3 --data-reserve 5

# A set of two: the first cabinet's size is the cut.
rm -f "$work"/out*.cab
"$cabwrite" -t none -m 600 "$work/out.cab" "$work/tree" >/dev/null
if [ -f "$work/out2.cab" ] && [ ! -f "$work/out3.cab" ]; then
    { cut16 1 "$(stat -c %s "$work/out.cab")"; cat "$work/out.cab" "$work/out2.cab"; } >"$seeds/fei_fuzz/set_stored"
fi

# An executable image with a cabinet after its last section: DOS header,
# PE header, an empty optional header, one section header and its raw data.
rm -f "$work"/out*.cab
"$cabwrite" -t deflate --strip-dirs "$work/out.cab" "$work/tree/prose.txt" >/dev/null
python3 - "$work/out.cab" "$seeds/overlay_fuzz/executable_with_cabinet" <<'EOF'
import struct, sys
cabinet = open(sys.argv[1], 'rb').read()
pe_offset, raw_offset, raw_size = 64, 512, 64
image = bytearray(raw_offset + raw_size)
image[0:2] = b'MZ'
struct.pack_into('<I', image, 60, pe_offset)
image[pe_offset:pe_offset + 4] = b'PE\0\0'
struct.pack_into('<HH', image, pe_offset + 4, 0x14C, 1)      # machine, one section
struct.pack_into('<H', image, pe_offset + 20, 0)             # optional header size
section = pe_offset + 24
image[section:section + 8] = b'.text\0\0\0'
struct.pack_into('<II', image, section + 16, raw_size, raw_offset)
open(sys.argv[2], 'wb').write(bytes(image) + cabinet)
EOF
cp "$work/out.cab" "$seeds/overlay_fuzz/plain_cabinet"

# Command lines of the kinds the front end sees.
printf '%s' '-BATCH -NOLOGO src\*.txt out.cab' >"$seeds/command_line_fuzz/build_wildcard"
printf '%s' '"a b\c.cab" "" -V' >"$seeds/command_line_fuzz/quoted_and_empty"
printf '%s' '-R- -X -F -NOCOMPRESSKVF -AUTOCOMPRESS dir' >"$seeds/command_line_fuzz/options"
printf '%s' 'x"y z"w ..\..\evil a\.\b' >"$seeds/command_line_fuzz/inner_quotes_and_names"

# Compressor inputs: whole blocks of prose repeated, a short noisy block.
{ printf '\x7f\x00'; cat "$work/tree/prose.txt"; } >"$seeds/deflate_compressor_fuzz/prose_repeated_flag0"
{ printf '\xff\x05'; cat "$work/tree/prose.txt"; } >"$seeds/deflate_compressor_fuzz/prose_repeated_resets"
{ printf '\x10\x00'; cat "$work/tree/sub/deep/noise.bin" "$work/tree/sub/runs.bin"; } \
    >"$seeds/deflate_compressor_fuzz/short_blocks"
# Search job inputs, read from the end: stretch start and length, the
# change (none, before, inside, stop), where, the tail, then the folder's
# script: literals, short and long copies, runs.
mkdir -p "$seeds/lzx_search_job_fuzz"
python3 - "$seeds/lzx_search_job_fuzz" <<'EOF'
import os, sys
prose = b"the stretch is searched ahead of the writer, which takes its results; "
def seed(name, start, chunks, change, where, tail, script):
    head = bytes([start, chunks, change]) + where.to_bytes(4, "big") + tail.to_bytes(4, "big")
    open(os.path.join(sys.argv[1], name), "wb").write((head + script)[::-1])
literals = b"".join(bytes([len(prose[i:i + 60]) - 1]) + prose[i:i + 60] for i in range(0, len(prose), 60))
copies = literals + bytes([0x40 | 20, 30]) + bytes([0x80 | 63, 200]) + bytes([0xC0 | 4, 0x61])
seed("prose_copies_clean", 0, 0, 0, 0, 1000, copies * 3)
seed("runs_changed_inside", 1, 3, 2, 77777, 0, (bytes([0xC0 | 40, 0]) + literals) * 2)
seed("changed_before", 2, 1, 1, 123456, 4000, copies)
seed("stopped_early", 0, 2, 3, 2, 30000, copies + literals)
EOF
echo "seeds written under $seeds"
