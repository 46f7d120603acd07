#!/usr/bin/env bash
# What --verify costs: 300 short stereo 16-bit takes (0.05 to 0.5 s), each
# with a chunk after its samples, converted by velkoran-drop as it is and
# with --verify (each output read back from the system's cache and checked
# against its recording), in interleaved rounds: in a folder on a real disk
# (BENCH_DIR, else one under /var/tmp), syncs and all, as a card is
# converted; and with every sync made a no-op (eatmydata), where the work
# itself is all there is to time. The target: at most 1.6 times the run
# without it.
# Usage: bench/verify.sh [path/to/velkoran]   (velkoran-drop beside it)
# Needs: eatmydata, python3.
BENCH_DIR=${BENCH_DIR:-/var/tmp/velkoran-verify}
. "$(dirname "$0")/common.sh" verify "${1:-}"
drop=$(dirname "$exe")/velkoran-drop

mkdir takes
python3 - <<'PY'
import os, random, struct
random.seed(5)
for i in range(300):
    frames = random.randint(2400, 24000)
    data = os.urandom(frames * 4)
    fmt = struct.pack('<4sIHHIIHH', b'fmt ', 16, 1, 2, 48000, 192000, 4, 16)
    info = b'LIST' + struct.pack('<I', 12) + b'INFOISFTx\0\0\0'
    with open('takes/take-%03d.wav' % i, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', 4 + len(fmt) + 8 + len(data) + len(info)) + b'WAVE'
                + fmt + b'data' + struct.pack('<I', len(data)) + data + info)
PY
sync
clean='rm -f takes/velkoran-*; sync'
python3 "$here/interleave.py" "${ROUNDS:-7}" "$clean" \
  "plain=$drop takes" "verify=$drop --verify takes" \
  "plain-nosync=eatmydata $drop takes" "verify-nosync=eatmydata $drop --verify takes" >times.txt
cat times.txt
awk '{ t[$1] = $2 }
     END { printf "--verify / without = %.2f on the disk, %.2f without syncs (at most 1.6)\n",
                  t["verify"] / t["plain"], t["verify-nosync"] / t["plain-nosync"] }' times.txt
