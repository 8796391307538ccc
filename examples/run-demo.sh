#!/usr/bin/env bash
# Runs demo.lsp with the built minihost on copies of the example drawings, in a temporary
# folder that is removed afterwards, so the repository stays as it was and every run prints
# the same. Usage: examples/run-demo.sh [BUILD-FOLDER]   (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" 2>/dev/null && pwd || true)"
program="$build/minihost"
if [ -z "$build" ] || [ ! -x "$program" ]; then
  echo "run-demo.sh: no minihost program in ${1:-build}; build the project first (see README)" >&2
  exit 1
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$here"/*.dxf "$here/demo.lsp" "$work/"
cd "$work"
"$program" demo.lsp
