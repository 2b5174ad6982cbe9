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
