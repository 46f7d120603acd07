#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the test suite needs, only those that
# are missing: with --ci, also what the CI checks add (clang and libFuzzer,
# valgrind, the Windows cross-compiler and Wine, groff, dpkg-dev, lintian). Where it
# cannot install (no apt, no root and no sudo), it prints the packages to
# install and fails.
# Usage: tests/install-deps.sh [--ci]
set -euo pipefail

build=(cmake ninja-build g++)
tests=(pkg-config libgtest-dev libsndfile1-dev sox ffmpeg python3 parallel jq tmux strace openssh-server
       openssh-client)
ci=(clang clang-format libclang-rt-14-dev valgrind time unzip g++-mingw-w64-x86-64 wine wine64 groff-base
    dpkg-dev lintian)

wanted=("${build[@]}" "${tests[@]}")
case "${1:-}" in
  --ci) wanted+=("${ci[@]}") ;;
  "") ;;
  *) echo "usage: $0 [--ci]" >&2; exit 2 ;;
esac

cannot() {
  echo "$1: install these packages, then run the tests again:" >&2
  echo "  ${missing[*]}" >&2
  exit 1
}

missing=()
if command -v dpkg-query >/dev/null; then
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
else
  missing=("${wanted[@]}")
fi
[ "${#missing[@]}" -eq 0 ] && exit 0

command -v apt-get >/dev/null || cannot "No apt-get here (Debian/Ubuntu package names)"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  cannot "Not root, and no sudo"
fi
echo "installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q || cannot "apt-get update failed"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" ||
  cannot "apt-get install failed"
