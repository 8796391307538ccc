#!/usr/bin/env bash
# Runs demo.lsp, then export-csv.lsp, with the built minihost on copies of the example
# drawings (DXF and binary), each in a temporary folder that is removed afterwards, so the
# repository stays as it was and every run prints the same.
# Usage: examples/run-demo.sh [BUILD-FOLDER]   (default: build)
set -euo pipefail
shopt -s nullglob
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" 2>/dev/null && pwd || true)"
program="$build/minihost"
if [ -z "$build" ] || [ ! -x "$program" ]; then
  echo "run-demo.sh: no minihost program in ${1:-build}; build the project first (see README)" >&2
  exit 1
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A fresh copy of the drawings for each script: demo.lsp changes some of them.
copy_drawings() {
  mkdir -p "$1"
  for drawing in "$here"/*.dxf "$here"/*.dwg; do
    cp "$drawing" "$1/"
  done
  chmod u+w "$1"/*
}

copy_drawings "$work/demo"
cp "$here/demo.lsp" "$work/demo/"
(cd "$work/demo" && "$program" demo.lsp)

echo
echo "9. export-csv.lsp writes the properties of every drawing in the folder to register.csv:"
copy_drawings "$work/register"
(cd "$work/register" && "$program" "$here/export-csv.lsp" && echo && cat register.csv)
