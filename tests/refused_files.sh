#!/usr/bin/env bash
# Recordings in shapes the program refuses, made with the tools that write
# them, and the commands the README gives to re-save them: each must be
# refused with its documented message, and accepted once re-saved.
# Usage: refused_files.sh PROGRAM   (VELKORAN_TEST_COMMAND overrides PROGRAM)
# Exits 77 (skipped, for ctest) where sox or ffmpeg is missing.
set -euo pipefail
for tool in sox ffmpeg; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
program=${VELKORAN_TEST_COMMAND:-$(realpath "$1")}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

passed=0 failed=0
check() {  # name expected-message-tail make-command fix-command
  local name=$1 want=$2
  bash -c "$3"
  local out
  out=$($program "$name.wav" | tr -d '\r') || true
  if [[ "$out" != *"$want" ]]; then
    echo "FAIL $name: refused with '$out', expected it to end with '$want'"; failed=$((failed + 1)); return
  fi
  bash -c "$4"
  mv fixed.wav "$name.wav"
  if out=$($program "$name.wav" | tr -d '\r') && [[ "$out" == *"tag=1" ]]; then
    echo "ok $name"; passed=$((passed + 1))
  else
    echo "FAIL $name: after re-saving: '$out'"; failed=$((failed + 1))
  fi
}

not_pcm='input has to be 16 or 24 bit int. This file is something else'
check extensible 'tag=-2Unknown wFormatTag.Error in .wav file header [5]' \
  'sox -q -n -r 48000 -c 2 -b 24 extensible.wav synth 0.1 sine 440 vol 0.5' \
  'sox extensible.wav -t wavpcm fixed.wav'
check junk_first 'Error in .wav file header [3]' \
  'ffmpeg -v error -f lavfi -i sine=f=440:d=0.1 -ac 2 -c:a pcm_s16le -rf64 auto junk_first.wav' \
  'sox junk_first.wav -t wavpcm fixed.wav'
check mono "tag=1$not_pcm" \
  'sox -q -n -r 48000 -c 1 -b 16 mono.wav synth 0.1 sine 440 vol 0.5' \
  'sox mono.wav -t wavpcm -c 2 fixed.wav'
check float "tag=3$not_pcm" \
  'sox -q -n -r 48000 -c 2 -e floating-point -b 32 float.wav synth 0.1 sine 440 vol 0.5' \
  'sox float.wav -t wavpcm -e signed-integer -b 24 fixed.wav'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
