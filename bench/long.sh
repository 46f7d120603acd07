#!/usr/bin/env bash
# An output past 4 GiB, written as RF64, against one just under it, written
# as RIFF, in one run: 2.0 GB of 16-bit stereo silence (4.0 GB out) and
# 2.2 GB (4.4 GB out), sparse inputs, outputs in tmpfs. The target: the same
# speed per byte written, and the same peak memory. Times them in
# interleaved rounds (bench/interleave.py).
# Usage: bench/long.sh [path/to/velkoran]   (needs 9 GB free in /dev/shm)
# Needs: python3.
. "$(dirname "$0")/common.sh" long "${1:-}"

# RIFF, the format chunk, and N bytes of data: the samples run to the end.
for input in riff:2000000000 rf64:2200000000; do
  name=${input%%:*} n=${input#*:}
  python3 - "$name.wav" "$n" <<'PY'
import struct, sys
name, n = sys.argv[1], int(sys.argv[2])
fmt = b'fmt ' + struct.pack('<IHHIIHH', 16, 1, 2, 48000, 192000, 4, 16)
with open(name, 'wb') as f:
    f.write(b'RIFF' + struct.pack('<I', 4 + len(fmt) + 8 + n) + b'WAVE' + fmt + b'data' + struct.pack('<I', n))
    f.truncate(44 + n)
PY
done
"$exe" riff.wav >/dev/null && [ "$(head -c 4 velkoran-riff.wav)" = RIFF ]
"$exe" rf64.wav >/dev/null && [ "$(head -c 4 velkoran-rf64.wav)" = RF64 ]
echo "velkoran-riff.wav: RIFF, $(stat -c %s velkoran-riff.wav) bytes; velkoran-rf64.wav: RF64, $(stat -c %s velkoran-rf64.wav) bytes" >&2

python3 "$here/interleave.py" "${ROUNDS:-3}" 'rm -f velkoran-riff.wav velkoran-rf64.wav' \
  "riff=$exe riff.wav" "rf64=$exe rf64.wav" >times.txt
cat times.txt
awk '$1 == "riff" { r = 4000000044 / $2 / 1000; rm = $3 } $1 == "rf64" { f = 4400000080 / $2 / 1000; fm = $3 }
     END { printf "MB/s written: RIFF %d, RF64 %d (RF64 / RIFF = %.2f; 1 is the target); peak KiB: %d, %d\n", r, f, f / r, rm, fm }' times.txt
