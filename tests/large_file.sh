#!/usr/bin/env bash
# An output past 2 GiB: offsets and sizes must not pass through a 32-bit long
# (as ftell's are on Windows). Converts 1.2 GB of 16-bit silence, with a LIST
# chunk after the data, and checks the output's length and its two sizes.
# Usage: large_file.sh PROGRAM   (VELKORAN_TEST_COMMAND overrides PROGRAM)
# Exits 77 (skipped) where there is not space enough for it.
set -euo pipefail
program=${VELKORAN_TEST_COMMAND:-$(realpath "$1")}
# 2.4 GB of output: in memory where there is a tmpfs, so no disk fills up.
base=${LARGE_FILE_DIR:-$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp )}
free=$(df --output=avail -B1 "$base" | tail -n 1)
if [ "$free" -lt 3000000000 ]; then
  echo "skipped: $base has $free bytes free, 3 GB are needed"
  exit 77
fi
dir=$(mktemp -d "$base/velkoran-large.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cd "$dir"

data=1200000000
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
{
  printf 'RIFF'; le32 $((36 + data + 12)); printf 'WAVEfmt '; le32 16
  printf '\x01\x00\x02\x00\x80\xbb\x00\x00\x00\xee\x02\x00\x04\x00\x10\x00data'; le32 $data
} >in.wav
truncate -s $((44 + data)) in.wav
{ printf 'LIST'; le32 4; printf 'INFO'; } >>in.wav

$program in.wav >/dev/null
size=$(stat -c %s velkoran-in.wav)
field() { od -An -tu4 -j "$1" -N4 velkoran-in.wav | tr -d ' '; }
want=$((44 + 2 * data + 12))
echo "output: $size bytes, RIFF size $(field 4), data size $(field 40)"
[ "$size" -eq "$want" ] && [ "$(field 4)" -eq $((want - 8)) ] && [ "$(field 40)" -eq $((2 * data)) ]
printf 'LIST\x04\x00\x00\x00INFO' >list.want
tail -c 12 velkoran-in.wav | cmp -s - list.want
echo "1 passed, 0 failed"
