#!/usr/bin/env bash
# The Linux and the Windows builds must agree: for every input given (files
# or folders of files), the same exit status, the same console text but for
# CR LF line ends, and byte-identical output files.
# Usage: compare_builds.sh LINUX_PROGRAM WINDOWS_COMMAND INPUT...
#   e.g. compare_builds.sh build/release/velkoran "wine build/windows/velkoran.exe" examples
set -uo pipefail
linux=$(realpath "$1")
windows=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
compare() {
  local input=$1 name=rec.wav
  rm -rf "$work/l" "$work/w" && mkdir "$work/l" "$work/w"
  cp "$input" "$work/l/$name" && cp "$input" "$work/w/$name"
  (cd "$work/l" && "$linux" "$name" >console) ; local ls=$?
  (cd "$work/w" && $windows "$name" | tr -d '\r' >console) ; local ws=$?
  if [ "$ls" != "$ws" ] || ! cmp -s "$work/l/console" "$work/w/console" ||
     { [ -e "$work/l/velkoran-$name" ] && ! cmp -s "$work/l/velkoran-$name" "$work/w/velkoran-$name"; }; then
    echo "FAIL $input: status $ls / $ws"; failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}

for arg in "$@"; do
  if [ -d "$arg" ]; then
    while IFS= read -r -d '' f; do compare "$f"; done < <(find "$arg" -type f -print0)
  else
    compare "$arg"
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
