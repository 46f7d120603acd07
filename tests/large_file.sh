#!/usr/bin/env bash
# Outputs past 2 GiB, and past 4 GiB. Offsets and sizes must not pass through
# a 32-bit long (as ftell's are on Windows): converts 1.2 GB of 16-bit
# silence, with a LIST chunk after the data, and checks the output's length
# and its two sizes. And a file whose output cannot fit a WAVE file's 32-bit
# sizes is refused before any sample, its output then a header that states
# what it holds, not after writing 4 GiB.
# Usage: large_file.sh PROGRAM   (VELKORAN_TEST_COMMAND overrides PROGRAM)
# Exits 77 (skipped) where there is not space enough for it.
set -euo pipefail
program=${VELKORAN_TEST_COMMAND:-$(realpath "$1")}
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
header16() {  # data-size [bytes-after-the-data]: stereo 16-bit 48 kHz, RIFF size to match
  printf 'RIFF'; le32 $((36 + $1 + ${2:-0})); printf 'WAVEfmt '; le32 16
  printf '\x01\x00\x02\x00\x80\xbb\x00\x00\x00\xee\x02\x00\x04\x00\x10\x00data'; le32 "$1"
}
field() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }

# 3.5 hours of 16-bit stereo: 4.8 GB of floats. A sparse file: no disk used.
refused=$(mktemp -d)
trap 'rm -rf "$refused"' EXIT
(
  cd "$refused"
  data=2419200000
  header16 $data >long.wav
  truncate -s $((44 + data)) long.wav
  start=$(date +%s)
  console=$($program long.wav | tr -d '\r') && status=0 || status=$?
  took=$(($(date +%s) - start))
  want=$'tag=1\nERROR: Output exceeds the 4 GiB limit of a WAVE file.'
  echo "past 4 GiB: status $status in ${took} s, output $(stat -c %s velkoran-long.wav) bytes," \
    "RIFF size $(field velkoran-long.wav 4), data size $(field velkoran-long.wav 40)"
  if ! { [ "$status" -eq 1 ] && [[ "$console" == *"$want" ]] && [ "$took" -le 5 ] &&
    [ "$(stat -c %s velkoran-long.wav)" -eq 44 ] && [ "$(field velkoran-long.wav 4)" -eq 36 ] &&
    [ "$(field velkoran-long.wav 40)" -eq 0 ]; }; then
    echo "FAIL: not refused at once, with that header left; console: $console"
    exit 1
  fi
)

# 2.4 GB of output: in memory where there is a tmpfs, so no disk fills up.
base=${LARGE_FILE_DIR:-$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp )}
free=$(df --output=avail -B1 "$base" | tail -n 1)
if [ "$free" -lt 3000000000 ]; then
  echo "skipped: $base has $free bytes free, 3 GB are needed"
  exit 77
fi
dir=$(mktemp -d "$base/velkoran-large.XXXXXX")
trap 'rm -rf "$dir" "$refused"' EXIT
cd "$dir"

data=1200000000
header16 $data 12 >in.wav
truncate -s $((44 + data)) in.wav
{ printf 'LIST'; le32 4; printf 'INFO'; } >>in.wav

$program in.wav >/dev/null
size=$(stat -c %s velkoran-in.wav)
want=$((44 + 2 * data + 12))
echo "output: $size bytes, RIFF size $(field velkoran-in.wav 4), data size $(field velkoran-in.wav 40)"
printf 'LIST\x04\x00\x00\x00INFO' >list.want
if ! { [ "$size" -eq "$want" ] && [ "$(field velkoran-in.wav 4)" -eq $((want - 8)) ] &&
  [ "$(field velkoran-in.wav 40)" -eq $((2 * data)) ] && tail -c 12 velkoran-in.wav | cmp -s - list.want; }; then
  echo "FAIL: wrong length, sizes or trailing chunk"
  exit 1
fi
echo "2 passed, 0 failed"
