#!/usr/bin/env bash
# The vbig tool end to end: create then extract reproduces a folder byte for
# byte (plain and --compress), append makes a carrier whose payload is the
# archive, and bad input or usage gives exit status 1 or 2.
# Usage: vbig_roundtrip.sh [EMULATOR] VBIG
set -uo pipefail
tool=$(realpath "${@: -1}")
if [ $# -eq 2 ]; then run=("$1" "$tool"); else run=("$tool"); fi
# shellcheck source=tests/support/checks.sh
. "$(cd "$(dirname "$0")" && pwd)/support/checks.sh"
status_is() {  # expected status, then the vbig arguments
  local expected=$1
  shift
  "${run[@]}" "$@" >/dev/null 2>&1
  [ $? -eq "$expected" ]
}
vbig() { "${run[@]}" "$@" >/dev/null; }

mkdir -p src/art/data src/empty-folder
printf 'deep file\n' >src/art/data/sky.bmp
head -c 70000 /dev/urandom >src/random.bin
for i in $(seq 1 3000); do echo "line $i of a readme that compresses well"; done >src/INDEX.HTM
: >src/zero-length
printf '\x00\x01\x02\xff' >src/art/tiny.bin

for mode in plain compress; do
  flag=()
  [ $mode = compress ] && flag=(--compress)
  check "create ($mode)" vbig create "$mode.vbig" src "${flag[@]}"
  check "extract ($mode)" vbig extract "$mode.vbig" -C "out-$mode"
  check "round trip is byte for byte ($mode)" diff -r src "out-$mode"
done
check "--compress makes a smaller archive" test "$(stat -c %s compress.vbig)" -lt "$(stat -c %s plain.vbig)"

head -c 4096 /dev/urandom >stub.exe
check "append" vbig append stub.exe compress.vbig -o carrier.exe
size=$(stat -c %s compress.vbig)
check "carrier holds stub, archive and trailer" \
  cmp <(cat stub.exe compress.vbig; printf 'CVEL') <(head -c $((4096 + size)) carrier.exe; tail -c 4 carrier.exe)
check "extract from the carrier" vbig extract carrier.exe -C out-carrier
check "carrier round trip" diff -r src out-carrier
check "list" vbig list carrier.exe
output_has() {  # text, then the vbig arguments
  local text=$1
  shift
  local output
  output=$("${run[@]}" "$@" 2>&1)
  grep -qF "$text" <<<"${output//$'\r'/}"
}
check "the carrier's payload ends in its integrity record" \
  cmp <(head -c $((4096 + size + 4)) carrier.exe | tail -c 4) <(printf 'VSUM')
check "the trailer counts the record" \
  cmp <(tail -c 8 carrier.exe | head -c 4 | od -An -tu4 | tr -d ' ') <(echo $((size + 12)))
check "verify: carrier is good" status_is 0 verify carrier.exe
check "verify names the record" output_has "integrity record: present, matches" verify carrier.exe
check "verify: an archive without record is good" output_has "integrity record: absent" verify compress.vbig
check "verify: archive exit 0" status_is 0 verify compress.vbig
cp carrier.exe damaged.exe
printf '\xAA' | dd of=damaged.exe bs=1 seek=$((4096 + size - 10)) conv=notrunc status=none
check "verify: one changed byte is damage" status_is 1 verify damaged.exe
check "verify says damaged" output_has "payload: damaged" verify damaged.exe
check "a damaged payload is not extracted" status_is 1 extract damaged.exe -C out-damaged
check "nothing extracted from it" test ! -e out-damaged
check "verify: junk is bad" status_is 1 verify junk.bin

head -c 300 compress.vbig >truncated.vbig
printf 'not an archive' >junk.bin
check "truncated archive is bad input" status_is 1 list truncated.vbig
check "truncated archive extracts nothing" status_is 1 extract truncated.vbig -C out-bad
check "nothing was written" test ! -e out-bad
check "junk is bad input" status_is 1 extract junk.bin
check "missing file is bad input" status_is 1 list no-such-file
check "append refuses a non-archive" status_is 1 append stub.exe junk.bin -o bad.exe
check "no output after a refused append" test ! -e bad.exe
mkdir -p odd && printf x >'odd/a:b'
check "create refuses a name Windows cannot hold" status_is 1 create odd.vbig odd
mkdir -p device && printf x >device/con.txt && printf y >device/fine.txt
check "create refuses a device name" status_is 1 create device.vbig device
check "the refusal says why" grep -q "could not be extracted on Windows (a reserved device name)" \
  <("${run[@]}" create device.vbig device 2>&1)
check "no archive after a refused create" test ! -e device.vbig
check "unknown command is bad usage" status_is 2 frobnicate
check "missing -o is bad usage" status_is 2 append stub.exe compress.vbig carrier.exe
check "--help" status_is 0 --help

echo "vbig round trip: $failures failure(s)"
[ $failures -eq 0 ]
