#!/usr/bin/env bash
# Recordings in the shapes velkoran refuses, made with the tools that write
# them, and the ways the README gives to bring each in. Each must be refused
# by velkoran with its documented message; then
#  - a layout velkoran-prep re-lays converts after it, with exactly the
#    samples sox reads from the original, and every chunk but fmt and ds64
#    byte for byte and in order;
#  - any other shape is refused by velkoran-prep with a line that names the
#    re-save, and converts once re-saved that way.
# Usage: refused_files.sh VELKORAN VELKORAN-PREP
#   (VELKORAN_TEST_COMMAND and VELKORAN_TEST_PREP_COMMAND override them)
# Exits 77 (skipped, for ctest) where sox, ffmpeg or python3 is missing.
set -euo pipefail
for tool in sox ffmpeg python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
program=${VELKORAN_TEST_COMMAND:-$(realpath "$1")}
prep=${VELKORAN_TEST_PREP_COMMAND:-$(realpath "$2")}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

# The chunks of a WAVE file other than fmt and ds64, in order, each as its id,
# size field and a digest of its body and pad; the data chunk's size field as
# RF64 states it (in ds64).
cat >chunks.py <<'PY'
import hashlib, struct, sys
b = open(sys.argv[1], 'rb').read()
pos, ds64 = 12, None
while pos + 8 <= len(b):
    cid, size = b[pos:pos + 4], struct.unpack('<I', b[pos + 4:pos + 8])[0]
    if cid == b'ds64':
        ds64 = struct.unpack('<Q', b[pos + 16:pos + 24])[0]
    if cid == b'data' and size == 0xFFFFFFFF and ds64 is not None:
        size = ds64
    end = pos + 8 + size + (size & 1)
    if cid not in (b'fmt ', b'ds64'):
        print(cid, size, hashlib.sha1(b[pos + 8:end]).hexdigest())
    pos = end
PY
samples() { sox -q -V1 "$1" -t raw -e floating-point -b 32 -L - | sha1sum; }

passed=0 failed=0
fail() { echo "FAIL $1: $2"; failed=$((failed + 1)); }

relaid() {  # name velkoran's-message-tail make-command
  local name=$1 want=$2 out
  bash -c "$3"
  out=$($program "$name.wav" | tr -d '\r') || true
  [[ "$out" == *"$want" ]] || { fail "$name" "velkoran said '$out', not '...$want'"; return; }
  out=$($prep "$name.wav" "fixed-$name.wav" | tr -d '\r') ||
    { fail "$name" "velkoran-prep said '$out'"; return; }
  [ "$(python3 chunks.py "$name.wav")" = "$(python3 chunks.py "fixed-$name.wav")" ] ||
    { fail "$name" "the chunks differ after velkoran-prep"; return; }
  out=$($program "fixed-$name.wav" | tr -d '\r') && [[ "$out" == *"tag=1" ]] ||
    { fail "$name" "velkoran refused the re-laid file: '$out'"; return; }
  [ "$(samples "$name.wav")" = "$(samples "velkoran-fixed-$name.wav")" ] ||
    { fail "$name" "the samples differ"; return; }
  echo "ok $name: $($prep "$name.wav" "fixed-$name.wav" | tr -d '\r')"
  passed=$((passed + 1))
}

resaved() {  # name velkoran's-message-tail make-command re-save-command (for in.wav)
  local name=$1 want=$2 out
  bash -c "$3"
  out=$($program "$name.wav" | tr -d '\r') || true
  [[ "$out" == *"$want" ]] || { fail "$name" "velkoran said '$out', not '...$want'"; return; }
  # The command writes a file named after its input, beside it.
  local recipe=${4//in.wav/$name.wav}
  recipe=${recipe//in-/$name-}
  local fixed=${recipe##* $name-}
  fixed="$name-${fixed%% *}"
  if out=$($prep "$name.wav" out.wav | tr -d '\r') || [[ "$out" != *"$recipe (sox keeps"* ]] || [ -e out.wav ]; then
    fail "$name" "velkoran-prep said '$out', not the re-save '$recipe'"; return
  fi
  bash -c "$recipe"
  mv "$fixed" "$name.wav"
  if out=$($program "$name.wav" | tr -d '\r') && [[ "$out" == *"tag=1" ]]; then
    echo "ok $name: re-saved with $recipe"; passed=$((passed + 1))
  else
    fail "$name" "after re-saving: '$out'"
  fi
}

not_pcm='input has to be 16 or 24 bit int. This file is something else'
tone='synth 0.1 sine 440 vol 0.5'
lavfi='-v error -f lavfi -i sine=f=440:d=0.1 -ac 2'
extensible='tag=-2Unknown wFormatTag.Error in .wav file header [5]'
relaid sox24 "$extensible" "sox -q -n -r 48000 -c 2 -b 24 sox24.wav $tone"
relaid ffmpeg24 "$extensible" "ffmpeg $lavfi -c:a pcm_s24le ffmpeg24.wav"
relaid ffmpeg16_96k "$extensible" "ffmpeg $lavfi -ar 96000 -c:a pcm_s16le ffmpeg16_96k.wav"
relaid junk_first 'Error in .wav file header [3]' "ffmpeg $lavfi -c:a pcm_s16le -rf64 auto junk_first.wav"
relaid rf64 'Error in .wav file header [1]' "ffmpeg $lavfi -c:a pcm_s24le -rf64 always rf64.wav"

resaved mono "tag=1$not_pcm" "sox -q -n -r 48000 -c 1 -b 16 mono.wav $tone" \
  'sox in.wav -t wavpcm -c 2 in-stereo.wav'
resaved eight_bit "tag=1$not_pcm" "sox -q -n -r 48000 -c 2 -b 8 eight_bit.wav $tone" \
  'sox -D in.wav -t wavpcm -b 24 in-24bit.wav'
resaved int32 "$extensible" "sox -q -n -r 48000 -c 2 -b 32 -e signed-integer int32.wav $tone" \
  'sox -D in.wav -t wavpcm -b 24 in-24bit.wav'
resaved six_channels 'tag=1Error in .wav file header [6]' \
  "sox -q -n -r 48000 -c 6 -b 16 -t wavpcm six_channels.wav $tone" \
  'sox in.wav -t wavpcm in-stereo.wav remix 1 2'
resaved float "tag=3$not_pcm" "sox -q -n -r 48000 -c 2 -e floating-point -b 32 -t wavpcm float.wav $tone" \
  'sox -D in.wav -t wavpcm -e signed-integer -b 24 in-24bit.wav'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
