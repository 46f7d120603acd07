#!/usr/bin/env bash
# velkoran-prep against a plain copy of the file: cp (which has the kernel
# copy the bytes, copy_file_range) and dd with 1 MiB blocks (which reads and
# writes them, as any program that looks at them must). Then a header of
# 1,000,000 empty chunks before the format chunk, from a file (walked twice)
# and from a pipe (held): the target is well under a second either way, and
# a file no slower than a pipe. The input is 10 minutes of
# stereo 48 kHz 24-bit noise as ffmpeg writes it with -rf64 auto: a JUNK
# chunk before an extensible format chunk, so velkoran-prep reads the file
# twice and rewrites the format. Checks that velkoran then converts the
# re-laid file with sox's samples, then times both in interleaved rounds
# (bench/interleave.py).
# Usage: bench/prep.sh [path/to/velkoran] [minutes]   (velkoran-prep beside it)
# Needs: ffmpeg, sox, python3.
minutes=${2:-10}
. "$(dirname "$0")/common.sh" prep "${1:-}"
prep=$(dirname "$exe")/velkoran-prep

ffmpeg -v error -f lavfi -i "anoisesrc=d=$((minutes * 60)):c=white:r=48000:a=0.5" -ac 2 \
  -c:a pcm_s24le -rf64 auto in.wav
"$prep" in.wav plain.wav
"$exe" plain.wav >/dev/null
samples_of() { sox -q -V1 "$1" -t raw -e floating-point -b 32 -L -; }
[ "$(samples_of in.wav | sha256sum)" = "$(samples_of velkoran-plain.wav | sha256sum)" ] ||
  { echo "the samples after velkoran-prep and velkoran are not the input's" >&2; exit 1; }
echo "$(stat -c %s in.wav) bytes in; velkoran-prep, then velkoran, give the input's samples" >&2

python3 "$here/interleave.py" "${ROUNDS:-15}" 'rm -f plain.wav copy.wav' \
  "velkoran-prep=$prep in.wav plain.wav" "cp=cp in.wav copy.wav" \
  "dd=dd if=in.wav of=copy.wav bs=1M status=none" >times.txt
cat times.txt
awk '$1 == "velkoran-prep" { p = $2 } $1 == "cp" { c = $2 } $1 == "dd" { d = $2 }
     END { printf "velkoran-prep / cp = %.2f, velkoran-prep / dd = %.2f (close to 1 is the target)\n", p / c, p / d }' times.txt

# A million empty chunks before the format chunk, and a second of samples.
python3 - <<'PY'
import struct
fmt = struct.pack('<4sIHHIIHH', b'fmt ', 16, 1, 2, 48000, 48000 * 4, 4, 16)
samples = bytes(48000 * 4)
body = b'WAVE' + b'JUNK\0\0\0\0' * 1000000 + fmt + b'data' + struct.pack('<I', len(samples)) + samples
open('chunks.wav', 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)
PY
"$prep" chunks.wav plain.wav >/dev/null
"$exe" plain.wav >/dev/null
python3 "$here/interleave.py" "${ROUNDS:-15}" 'rm -f plain.wav' \
  "file=$prep chunks.wav plain.wav" "pipe=cat chunks.wav | $prep /dev/stdin plain.wav" >chunks.txt
cat chunks.txt
awk '$1 == "file" { f = $2 } $1 == "pipe" { p = $2 }
     END { printf "a million chunks: file %d ms, pipe %d ms (well under 1000 each is the target)\n", f, p }' chunks.txt
