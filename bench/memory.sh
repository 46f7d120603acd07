#!/usr/bin/env bash
# Peak resident memory of a conversion must not grow with the file: converts a
# 1 MB and a 1 GB input (sparse files of silence; the outputs go to /dev/null)
# and fails if the two peaks differ by more than 300 KiB.
# Usage: bench/memory.sh [path/to/velkoran]
set -euo pipefail
exe=$(realpath "${1:-$(dirname "$0")/../build/release/velkoran}")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

# Stereo 16-bit PCM with a data size of 0: the samples run to the end of the file.
header='RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x80\xbb\0\0\0\xee\x02\0\x04\0\x10\0data\0\0\0\0'
for name in small:1000000 large:1000000000; do
  printf "$header" >"${name%%:*}.wav"
  truncate -s "${name#*:}" "${name%%:*}.wav"
  ln -s /dev/null "velkoran-${name%%:*}.wav"
done

peak() { /usr/bin/time -f %M "$exe" "$1" 2>&1 >/dev/null | tail -n 1; }
small=$(peak small.wav)
large=$(peak large.wav)
echo "peak resident memory: ${small} KiB for 1 MB, ${large} KiB for 1 GB"
diff=$((large > small ? large - small : small - large))
if [ "$diff" -gt 300 ]; then
  echo "memory grows with the input: ${diff} KiB" >&2
  exit 1
fi
