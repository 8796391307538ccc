#!/usr/bin/env bash
# Runs the Windows loader under Wine in a fresh, temporary Wine prefix and compares its transcript
# with the expected one.
#   run_under_wine.sh EXPECTED WINE LOADER MODULE [LOADER ARGUMENTS...]
set -euo pipefail
expected=$1 wine=$2 loader=$(realpath "$3")
shift 3

prefix=$(mktemp -d)
out=$(mktemp) err=$(mktemp)
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix" "$out" "$err"
}
trap cleanup EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

# The loader runs from its own folder, where the recording host lies beside it.
status=0
(cd "$(dirname "$loader")" && timeout 240 "$wine" "$loader" "$@") >"$out" 2>"$err" || status=$?
tr -d '\r' <"$out" | diff -u "$expected" - || status=1
if [ "$status" -ne 0 ]; then
  cat "$err" >&2
  echo "the module's transcript under Wine differs from $expected (exit $status)" >&2
fi
exit "$status"
