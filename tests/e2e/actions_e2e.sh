#!/usr/bin/env bash
# Runs the launcher's end-to-end action tests with the drives they need in the
# project's Wine prefix: the demo disc's launcher on the CD-ROM drive M:, a
# second (empty) CD-ROM drive R:, and a fixed drive F:, with native libraries
# preferred for "SHFolder.dll" and "atl.dll". Mapping drives
# restarts the wineserver, so the test runs alone; the drives are removed and
# the server restarted again afterwards.
# Usage: actions_e2e.sh TEST_EXE CD_DIR PAYLOAD_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/wineenv
. "$here/../../scripts/wineenv"
# Native libraries preferred for the two names the launcher loads at run
# time, as Windows treats libraries outside its list of known ones: a copy
# planted beside the launcher would then be taken if it were looked for there.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;shfolder,atl=n,b"
test_exe=$1 cd_dir=$2 payload_dir=$3
work=$(mktemp -d)
drives=(m r f)

# shellcheck source=scripts/cdrom
. "$here/../../scripts/cdrom"
restart_server() {
  wine_restart_server
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
}
clean_up() {
  for letter in "${drives[@]}"; do wine_unmap_drive "$letter"; done
  restart_server
  rm -rf "$work"
}
trap clean_up EXIT

mkdir -p "$work/m" "$work/r" "$work/f"
cp "$cd_dir/Update.exe" "$cd_dir/autorun.inf" "$work/m/" || exit 1
wine cmd /c exit </dev/null >/dev/null 2>&1
wine_unmap_cdroms  # no other disc may be in a drive (the demo's, say)
wine_map_drive m cdrom "$work/m"
wine_map_drive r cdrom "$work/r"
wine_map_drive f hd "$work/f"
restart_server
export ACTIONS_PAYLOAD
ACTIONS_PAYLOAD=$(winepath -w "$payload_dir" 2>/dev/null)
# With DOCS_SCREENSHOTS set (a Linux folder), the insert-CD layout is
# pictured there for the README.
if [ -n "${DOCS_SCREENSHOTS:-}" ]; then
  DOCS_SCREENSHOTS=$(winepath -w "$DOCS_SCREENSHOTS" 2>/dev/null)
  export DOCS_SCREENSHOTS
fi
wine "$test_exe" </dev/null
