#!/usr/bin/env bash
# Installs the Debian packages a task needs, and only those that are missing: nothing is
# asked of apt-get (or of sudo) when everything is already here.
#
#   scripts/setup.sh GROUP...
#
#   build     the compiler, CMake, Ninja and the libraries: enough to build and run the demo
#   tests     the other programs the tests read saved drawings with, and tmux (the terminal test);
#             without them those tests are skipped
#   fuzz      clang and its libFuzzer runtime
#   windows   MinGW-w64 and Wine, for the Windows DLL (without their recommendations, which
#             would bring a desktop's worth of packages)
#   all       every group above
#   fat       dosfstools and fusefat, for the tests that save on a mounted FAT image (as root);
#             not part of all
#
# Runs apt-get as root, or through sudo otherwise.
set -euo pipefail

build=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libreadline-dev
       zlib1g-dev nlohmann-json3-dev)
tests=(python3 python3-ezdxf librecad poppler-utils gdal-bin tmux)
fuzz=(clang libclang-rt-14-dev)
fat=(dosfstools fusefat)
windows=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64)

usage() {
  echo "usage: scripts/setup.sh {build|tests|fuzz|windows|all|fat}..." >&2
  exit 2
}

not_installed() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

[ $# -gt 0 ] || usage
wanted=()
plain=() # installed without their recommendations
for group in "$@"; do
  case "$group" in
    build) wanted+=("${build[@]}") ;;
    tests) wanted+=("${tests[@]}") ;;
    fuzz) wanted+=("${fuzz[@]}") ;;
    fat) wanted+=("${fat[@]}") ;;
    windows) plain+=("${windows[@]}") ;;
    all) wanted+=("${build[@]}" "${tests[@]}" "${fuzz[@]}"); plain+=("${windows[@]}") ;;
    *) usage ;;
  esac
done

if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
  echo "setup.sh: not a Debian system; install the equivalents of: ${wanted[*]} ${plain[*]}" >&2
  exit 1
fi
mapfile -t missing < <(not_installed "${wanted[@]}")
mapfile -t missing_plain < <(not_installed "${plain[@]}")
[ ${#missing[@]} -gt 0 ] || [ ${#missing_plain[@]} -gt 0 ] || exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "setup.sh: missing packages: ${missing[*]} ${missing_plain[*]}" >&2
    echo "setup.sh: install them as root (apt-get install ...), or install sudo" >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "installing: ${missing[*]} ${missing_plain[*]}"
apt_get=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
"${apt_get[@]}" update -qq
[ ${#missing[@]} -eq 0 ] || "${apt_get[@]}" install -y -qq "${missing[@]}"
[ ${#missing_plain[@]} -eq 0 ] ||
  "${apt_get[@]}" install -y -qq --no-install-recommends "${missing_plain[@]}"
