#!/usr/bin/env bash
# The publishers' disc builder (scripts/make-disc) end to end, with the
# built launcher and vbig.exe (under Wine): the disc folder and its launcher,
# autorun.inf and the icon written only when absent, signing, compression,
# the ISO image, and refusals that leave the output folder as it was.
# Usage: make_disc_test.sh LAUNCHER_EXE VBIG_EXE ICON
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export MAKE_DISC_LAUNCHER=$1 MAKE_DISC_VBIG=$2 MAKE_DISC_ICON=$3
# shellcheck source=tests/support/checks.sh
. "$root/tests/support/checks.sh"
make_disc() { bash "$root/scripts/make-disc" "$@" >make-disc.out 2>&1; }
said() { tr -d '\r' <make-disc.out | grep -qF "$1"; }

mkdir -p payload/data empty own own-icon
for i in $(seq 1 500); do echo "line $i of the readme"; done >payload/INDEX.HTM
printf 'level' >payload/data/level1.dat
printf '[autorun]\r\nopen=Update.exe\r\nicon=game.ico,0\r\n' >own/autorun.inf
printf 'marker' >own/kerv.cev
cp own/autorun.inf own-icon/
printf 'my own icon' >own-icon/game.ico
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Disc test publisher" \
  -keyout key.pem -out cert.pem >/dev/null 2>&1 || exit 1

check "signed, compressed disc with an ISO" \
  make_disc payload empty out1 --compress --sign cert.pem key.pem --iso disc1.iso
check "the launcher's signature verifies" \
  eval 'osslsigncode verify -CAfile cert.pem -in out1/Update.exe >/dev/null 2>&1'
check "vbig verify ran on the result" eval 'said "signature: signed" && said "payload: good"'
check "autorun.inf written" cmp out1/autorun.inf <(printf '[autorun]\r\nopen=Update.exe\r\nicon=Update.ico\r\n')
check "the icon it names written" cmp out1/Update.ico "$MAKE_DISC_ICON"
check "the ISO holds the disc" \
  test "$(isoinfo -i disc1.iso -J -f | sort | tr '\n' ' ')" = "/Update.exe /Update.ico /autorun.inf "
check "the payload is the folder, compressed" \
  eval 'bash "$root/scripts/make-disc" payload empty out2 >/dev/null 2>&1 &&
        test "$(stat -c %s out1/Update.exe)" -lt "$(stat -c %s out2/Update.exe)"'

check "a disc with its own autorun.inf" make_disc payload own out3
check "its autorun.inf kept" cmp own/autorun.inf out3/autorun.inf
check "its files copied" cmp own/kerv.cev out3/kerv.cev
check "the icon its autorun.inf names written" cmp out3/game.ico "$MAKE_DISC_ICON"
check "unsigned without --sign" said "signature: none"
check "a disc with its own icon" make_disc payload own-icon out4
check "its icon kept" cmp own-icon/game.ico out4/game.ico

printf x >'payload/a:b'
check "a payload that cannot be archived is refused" eval '! make_disc payload own out5 --iso disc5.iso'
check "nothing written then" test ! -e out5 -a ! -e disc5.iso
rm 'payload/a:b'
check "signing with a missing key is refused" eval '! make_disc payload own out6 --sign cert.pem no-key.pem'
check "nothing written then" test ! -e out6
check "bad usage" eval 'make_disc payload own; test $? -eq 2'
check "unknown option" eval 'make_disc payload own out7 --frobnicate; test $? -eq 2'

echo "make-disc: $failures failure(s)"
[ $failures -eq 0 ]
