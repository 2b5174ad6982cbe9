# Shared by the shell tests: sourced, it moves into a new work folder that is
# removed at exit, and gives check (a described command that must succeed)
# and a failure count in `failures`.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
check() {  # description, then the command that must succeed
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
