#!/usr/bin/env bash
# Checks the module's sources (frame/, props/, the common/ header they both include, and the
# frame's test rows, which use every form of a table row) with clang in the mode of the
# platform's own compiler, so that nothing only GCC accepts slips into them. The platform's
# headers are not here: MinGW-w64's C and C++ headers stand in for them.
#   check_platform_syntax.sh CLANG++ SOURCE_DIR MINGW_G++
set -euo pipefail
clang=$1 source=$2 mingw=$3

# MinGW's own compiler knows where its headers are: its C++ library and the C headers (not its
# own intrinsics headers; clang has its own).
mapfile -t include_dirs < <(echo | "$mingw" -xc++ -E -Wp,-v - 2>&1 |
  sed -n 's/^ \(\/.*\(\/c++\|\/c++\/x86_64-w64-mingw32\|x86_64-w64-mingw32\/include\)\)$/\1/p')
[ ${#include_dirs[@]} -eq 3 ] || { echo "no headers of $mingw found: ${include_dirs[*]}" >&2; exit 1; }

flags=(--target=x86_64-pc-windows-msvc -fms-extensions -fms-compatibility -fsyntax-only
       -std=c++17 -Wall -Wextra -Wpedantic -Werror -I"$source" -nostdinc++
       "${include_dirs[@]/#/-isystem}"
       # What MinGW's headers need to parse in this mode: GCC's version (their attributes) and
       # __declspec as a macro (their dllimport), and no complaint about a strict mode that
       # libstdc++ cannot see.
       -fgnuc-version=12 -D__declspec=__declspec -Wno-\#warnings)

failed=0 checked=0
for file in "$source"/frame/*.cpp "$source"/props/*.cpp "$source"/tests/frame/test_row_*.cpp; do
  [ "$(basename "$file")" = resources.cpp ] && continue # the ELF notes; the .rc on Windows
  checked=$((checked + 1))
  "$clang" "${flags[@]}" "$file" || { echo "fails in the platform compiler's mode: $file" >&2; failed=$((failed + 1)); }
done
echo "$((checked - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
