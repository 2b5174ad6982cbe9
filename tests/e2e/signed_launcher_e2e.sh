#!/usr/bin/env bash
# Signed launchers end to end. Makes a throwaway self-signed certificate
# (openssl) and, from the demo disc's launcher, these launchers:
#   signed.exe            the demo launcher signed (osslsigncode)
#   signed-aligned.exe    the same payload on a launcher whose unsigned size
#   signed-unaligned.exe  is a multiple of 8, and one whose size is not
#   nested.exe            signed.exe signed again with a nested signature
#   appended.exe          vbig append onto signed.exe: a fresh, unsigned one
#   damaged.exe           signed.exe with one payload byte changed
# checks the signatures here (osslsigncode verify, vbig verify), then runs
# the Windows test that starts each launcher under Wine.
# Usage: signed_launcher_e2e.sh TEST_EXE CD_DIR PAYLOAD_DIR BARE_LAUNCHER VBIG_EXE
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/wineenv
. "$here/../../scripts/wineenv"
test_exe=$1 cd_dir=$2 payload_dir=$3 bare=$4 vbig=$5
# shellcheck source=tests/support/checks.sh
. "$here/../support/checks.sh"
# vbig.exe under Wine, its output (both streams) on vbig.out.
vbig() { wine "$vbig" "$@" </dev/null >vbig.out 2>&1; }
has() { tr -d '\r' <vbig.out | grep -qF "$1"; }
sign() {  # in, out, then osslsigncode options
  local in=$1 out=$2
  shift 2
  osslsigncode sign -certs cert.pem -key key.pem -n "Iron Meadow" -h sha256 "$@" \
    -in "$in" -out "$out" >/dev/null
}
verifies() { osslsigncode verify -CAfile cert.pem -in "$1" >verify.out 2>&1; }
size() { stat -c %s "$1"; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Iron Meadow test publisher" \
  -keyout key.pem -out cert.pem >/dev/null 2>&1 || exit 1

demo=$cd_dir/Update.exe
tail_bytes=$(($(size "$demo") - $(size "$bare")))  # archive, record and trailer
for residue in aligned:0 unaligned:5; do
  name=${residue%:*} want=${residue#*:}
  cp "$bare" "launcher-$name.exe"
  while [ $((($(size "launcher-$name.exe") + tail_bytes) % 8)) -ne "$want" ]; do
    printf '\0' >>"launcher-$name.exe"
  done
  tail -c "$tail_bytes" "$demo" >>"launcher-$name.exe"
done
check "unsigned sizes: a multiple of 8 and not" \
  test $(($(size launcher-aligned.exe) % 8)) -eq 0 -a $(($(size launcher-unaligned.exe) % 8)) -ne 0

check "sign the demo launcher" sign "$demo" signed.exe
check "sign the aligned one" sign launcher-aligned.exe signed-aligned.exe
check "sign the unaligned one" sign launcher-unaligned.exe signed-unaligned.exe
check "sign signed.exe again, nested" sign signed.exe nested.exe -nest
for exe in signed.exe signed-aligned.exe signed-unaligned.exe nested.exe; do
  check "osslsigncode verify $exe" verifies "$exe"
  check "vbig verify $exe: signed" vbig verify "$(winepath -w "$work/$exe" 2>/dev/null)"
  check "vbig verify $exe names the signature and the record" \
    eval 'has "signature: signed" && has "integrity record: present, matches"'
done
check "nested.exe carries two signatures" grep -q "Number of verified signatures: 2" verify.out

check "the demo archive" vbig create payload.vbig "$(winepath -w "$payload_dir" 2>/dev/null)"
check "vbig append onto the signed launcher" \
  vbig append signed.exe payload.vbig -o appended.exe
check "append says the result must be signed again" has "must be signed again"
check "the appended launcher has no signature" eval '! verifies appended.exe'
check "vbig verify appended.exe: good and unsigned" vbig verify appended.exe
check "vbig verify says so" eval 'has "signature: none" && has "payload: good"'

cp signed.exe damaged.exe
printf '\xA5' | dd of=damaged.exe bs=1 seek=$(($(size "$bare") + 5000)) conv=notrunc status=none
check "vbig verify damaged.exe fails" eval '! vbig verify damaged.exe'
check "vbig verify says damaged" has "payload: damaged"

export SIGNED_LAUNCHERS SIGNED_PAYLOAD
SIGNED_LAUNCHERS=$(winepath -w "$work" 2>/dev/null)
SIGNED_PAYLOAD=$(winepath -w "$payload_dir" 2>/dev/null)
wine "$test_exe" </dev/null
status=$?
echo "signed launchers: $failures host check failure(s), Windows test status $status"
[ $failures -eq 0 ] && [ $status -eq 0 ]
