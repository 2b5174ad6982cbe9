#!/usr/bin/env bash
# Regenerates the small seed inputs in fuzz/seeds/ with the host build of the
# vbig tool (build/host/bin/vbig): an archive with a folder, a plain and a
# compressed file (also the extraction seed); the Huffman stream of that
# compressed file; and a tiny carrier (stub + archive + trailer).
set -euo pipefail
cd "$(dirname "$0")/.."
vbig=$(realpath build/host/bin/vbig)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/one" "$work/tree/d" fuzz/seeds/vfilbig_fuzz fuzz/seeds/utilvbig_fuzz fuzz/seeds/huffman_fuzz fuzz/seeds/Appndexe_fuzz
for i in $(seq 1 40); do printf 'abracadabra %d\n' "$i"; done >"$work/one/packed.txt"
cp "$work/one/packed.txt" "$work/tree/d/packed.txt"
printf 'x' >"$work/tree/plain"
"$vbig" create fuzz/seeds/vfilbig_fuzz/tree.vbig "$work/tree" --compress
cp fuzz/seeds/vfilbig_fuzz/tree.vbig fuzz/seeds/utilvbig_fuzz/tree.vbig
"$vbig" create "$work/one.vbig" "$work/one" --compress
# One compressed member: its stream starts after the header and one record.
# The Huffman target takes it in its compact form: the count of non-zero
# weights, N as 16 bits (cut to 200), the (symbol, weight) pairs, then the
# code bits.
tail -c +$((12 + 299 + 1)) "$work/one.vbig" >"$work/abracadabra.huf"
python3 - "$work/abracadabra.huf" fuzz/seeds/huffman_fuzz/abracadabra.huf <<'PY'
import sys
stream = open(sys.argv[1], "rb").read()
pairs = [(s, w) for s, w in enumerate(stream[4:260]) if w]
n = min(int.from_bytes(stream[0:4], "little"), 200)  # within the target's output limit
compact = bytes([len(pairs)]) + n.to_bytes(2, "little") + bytes(b for p in pairs for b in p) + stream[260:]
open(sys.argv[2], "wb").write(compact)
PY
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
