#!/usr/bin/env bash
# A header of many small chunks: 1,000,000 empty JUNK chunks stand between the
# format chunk and a second of stereo 16-bit samples. Every chunk header is a
# read and a write of a few bytes, so this measures what a small read or write
# costs; the target is to convert such a file no slower than sox does.
# Checks that velkoran's samples are sox's, then times both in interleaved
# rounds (bench/interleave.py).
# Usage: bench/many_chunks.sh [path/to/velkoran] [chunks]
# Needs: sox, python3.
chunks=${2:-1000000}
. "$(dirname "$0")/common.sh" chunks "${1:-}"

python3 - "$chunks" <<'PY'
import random, struct, sys
chunks = int(sys.argv[1])
random.seed(1)
samples = bytes(random.getrandbits(8) for _ in range(48000 * 4))
fmt = struct.pack('<4sIHHIIHH', b'fmt ', 16, 1, 2, 48000, 48000 * 4, 4, 16)
junk = b'JUNK\0\0\0\0' * chunks
data = b'data' + struct.pack('<I', len(samples)) + samples
body = b'WAVE' + fmt + junk + data
with open('in.wav', 'wb') as f:
    f.write(b'RIFF' + struct.pack('<I', len(body)) + body)
PY

samples_of() { sox -q "$1" -t raw -e floating-point -b 32 -L -; }
"$exe" in.wav >/dev/null
sox -q in.wav -e floating-point -b 32 -t wavpcm sox.wav
[ "$(samples_of velkoran-in.wav | sha256sum)" = "$(samples_of sox.wav | sha256sum)" ] ||
  { echo "velkoran and sox disagree" >&2; exit 1; }
echo "$(stat -c %s in.wav) bytes in, $chunks chunks; velkoran and sox give the same samples" >&2

python3 "$here/interleave.py" "${ROUNDS:-15}" 'rm -f velkoran-in.wav sox.wav' \
  "velkoran=$exe in.wav" "sox=sox -q in.wav -e floating-point -b 32 -t wavpcm sox.wav" >times.txt
cat times.txt
awk '$1 == "velkoran" { v = $2 } $1 == "sox" { s = $2 }
     END { printf "sox / velkoran = %.2f (at least 1 is the target)\n", s / v }' times.txt
