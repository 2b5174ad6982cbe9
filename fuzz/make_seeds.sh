#!/usr/bin/env bash
# Regenerates the small seed inputs in fuzz/seeds/ with the host build of the
# vbig tool (build/host/bin/vbig): an archive with a folder, a plain and a
# compressed file; the Huffman stream of that compressed file; and a tiny
# carrier (stub + archive + trailer).
set -euo pipefail
cd "$(dirname "$0")/.."
vbig=$(realpath build/host/bin/vbig)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/one" "$work/tree/d" fuzz/seeds/vfilbig_fuzz fuzz/seeds/huffman_fuzz fuzz/seeds/Appndexe_fuzz
for i in $(seq 1 40); do printf 'abracadabra %d\n' "$i"; done >"$work/one/packed.txt"
cp "$work/one/packed.txt" "$work/tree/d/packed.txt"
printf 'x' >"$work/tree/plain"
"$vbig" create fuzz/seeds/vfilbig_fuzz/tree.vbig "$work/tree" --compress
"$vbig" create "$work/one.vbig" "$work/one" --compress
# One compressed member: its stream starts after the header and one record.
tail -c +$((12 + 299 + 1)) "$work/one.vbig" >fuzz/seeds/huffman_fuzz/abracadabra.huf
printf 'MZ' >"$work/stub.exe"
"$vbig" append "$work/stub.exe" "$work/one.vbig" -o fuzz/seeds/Appndexe_fuzz/carrier.exe
# A signed carrier: PE headers whose security entry names a certificate
# table that ends the file, after the carrier's tail and 3 padding bytes.
python3 - fuzz/seeds/Appndexe_fuzz/carrier.exe fuzz/seeds/Appndexe_fuzz/signed.exe <<'PY'
import struct, sys
tail = open(sys.argv[1], "rb").read()[2:]  # without the "MZ" stub
optional = bytearray(224)
struct.pack_into("<HI", optional, 0, 0x10B, 0)
struct.pack_into("<I", optional, 92, 16)
headers = b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"PE\0\0" + \
    struct.pack("<HHIIIHH", 0x14C, 0, 0, 0, 0, 224, 0x102)
body = headers + bytes(optional) + tail
body += bytes(3)  # the zero padding in front of the table
table = b"\x20\0\0\0\0\x02\x02\0" + bytes(24)
entry = len(headers) + 96 + 4 * 8
image = bytearray(body + table)
struct.pack_into("<II", image, entry, len(body), len(table))
open(sys.argv[2], "wb").write(image)
PY
