#!/usr/bin/env bash
# What putting every output on the disk costs: 300 short stereo 16-bit takes
# (0.05 to 0.5 s) in a folder on a real disk (BENCH_DIR, else one under
# /var/tmp), converted by velkoran-drop as it is, and with every sync made a
# no-op (eatmydata) followed by one `sync` at the end (the same data on the
# disk when it is done), in interleaved rounds. The target: at most 1.3 times
# the run without syncs.
# Usage: bench/syncs.sh [path/to/velkoran]   (velkoran-drop beside it)
# Needs: eatmydata, python3; a disk, not tmpfs, to mean anything.
BENCH_DIR=${BENCH_DIR:-/var/tmp/velkoran-syncs}
. "$(dirname "$0")/common.sh" syncs "${1:-}"
drop=$(dirname "$exe")/velkoran-drop
[ "$(stat -f -c %T .)" != tmpfs ] || echo "warning: $work is in tmpfs, where a sync costs nothing" >&2

mkdir takes
python3 - <<'PY'
import os, random, struct
random.seed(3)
for i in range(300):
    frames = random.randint(2400, 24000)
    data = os.urandom(frames * 4)
    fmt = struct.pack('<4sIHHIIHH', b'fmt ', 16, 1, 2, 48000, 192000, 4, 16)
    with open('takes/take-%03d.wav' % i, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', 4 + len(fmt) + 8 + len(data)) + b'WAVE' + fmt
                + b'data' + struct.pack('<I', len(data)) + data)
PY
sync
clean='rm -f takes/velkoran-*; sync'
python3 "$here/interleave.py" "${ROUNDS:-7}" "$clean" \
  "synced=$drop takes" "unsynced=eatmydata $drop takes && sync" >times.txt
cat times.txt
awk '$1 == "synced" { s = $2 } $1 == "unsynced" { u = $2 }
     END { printf "synced / unsynced then one sync = %.2f (at most 1.3)\n", s / u }' times.txt
