#!/usr/bin/env bash
# A library of short takes: 2,000 stereo 24-bit recordings of 0.5 to 3 s
# (about 1 GB) in 20 folders, in tmpfs. Converts them all with velkoran-drop
# (one process), with a find command (a shell and a velkoran per
# file), with a sox loop (a sox per file), and measures the floor: one
# process that reads every input and writes a new file of its output's size.
# Checks that velkoran-drop and sox give the same samples, then times them
# in interleaved rounds (bench/interleave.py), velkoran-drop at its default
# jobs, --jobs 1 and --jobs 2; then a second run over the converted library.
# The targets: velkoran-drop at least 5 times faster than the sox loop, and
# within 1.5 times the floor; --jobs 2 at most 0.75 times --jobs 1.
# Usage: bench/drop.sh [path/to/velkoran]   (velkoran-drop beside it)
# Needs: sox, python3.
. "$(dirname "$0")/common.sh" drop "${1:-}"
drop=$(dirname "$exe")/velkoran-drop
mkdir -p bin && ln -sf "$exe" bin/velkoran && export PATH="$work/bin:$PATH"

mkdir takes
python3 - <<'PY'
import os, random, struct
random.seed(7)
for i in range(2000):
    folder = 'takes/day-%02d' % (i // 100)
    os.makedirs(folder, exist_ok=True)
    frames = random.randint(24000, 144000)
    data = os.urandom(frames * 6)
    fmt = struct.pack('<4sIHHIIHH', b'fmt ', 16, 1, 2, 48000, 288000, 6, 24)
    with open('%s/take-%04d.wav' % (folder, i), 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', 4 + len(fmt) + 8 + len(data)) + b'WAVE' + fmt
                + b'data' + struct.pack('<I', len(data)) + data)
PY
cat >floor.py <<'PY'
# The floor: every input read, and a new file of its output's size written,
# a MiB at a time, in one process.
import os
zeros = bytes(1 << 20)
for root, _, names in os.walk('takes'):
    for n in names:
        if n.startswith('velkoran-') or n.startswith('floor-'):
            continue
        p = os.path.join(root, n)
        with open(p, 'rb') as f:
            while f.read(1 << 20):
                pass
        left = 44 + (os.path.getsize(p) - 44) // 3 * 4
        with open(os.path.join(root, 'floor-' + n), 'wb') as f:
            while left > 0:
                left -= f.write(zeros[:min(left, len(zeros))])
PY
cat >sox-loop.sh <<'SH'
find takes -name '*.wav' ! -name 'velkoran-*' ! -name 'floor-*' -print0 |
  while IFS= read -r -d '' f; do
    sox "$f" -e floating-point -b 32 "${f%/*}/velkoran-${f##*/}"
  done
SH
clean='find takes -name "velkoran-*" -delete; find takes -name "floor-*" -delete'

echo "$(du -sb takes | cut -f1) bytes in, $(find takes -name '*.wav' | wc -l) takes" >&2
"$drop" takes >/dev/null
for f in takes/day-00/take-000[0-4].wav; do
  sox "$f" -e floating-point -b 32 sox.wav
  [ "$(sox "$(dirname "$f")/velkoran-$(basename "$f")" -t raw - | sha256sum)" = "$(sox sox.wav -t raw - | sha256sum)" ] ||
    { echo "velkoran-drop and sox disagree on $f" >&2; exit 1; }
done
eval "$clean"

python3 "$here/interleave.py" "${ROUNDS:-3}" "$clean" \
  "velkoran-drop=$drop takes" "jobs-1=$drop --jobs 1 takes" "jobs-2=$drop --jobs 2 takes" \
  "find=cd takes && ! find . -name '*.wav' ! -name 'velkoran-*' ! -execdir sh -c 'velkoran \"\${1#./}\" >/dev/null' sh {} \\; -print | grep ." \
  "sox-loop=bash sox-loop.sh" "floor=python3 floor.py" >times.txt
cat times.txt
awk '$1 == "velkoran-drop" { d = $2 } $1 == "sox-loop" { s = $2 } $1 == "floor" { f = $2 } $1 == "find" { x = $2 }
     $1 == "jobs-1" { j1 = $2 } $1 == "jobs-2" { j2 = $2 }
     END { printf "sox loop / velkoran-drop = %.1f (at least 5 is the target); velkoran-drop / floor = %.2f (at most 1.5); find command / velkoran-drop = %.1f\n", s / d, d / f, x / d
           printf "--jobs 2 / --jobs 1 = %.2f (at most 0.75); --jobs 1 / floor = %.2f\n", j2 / j1, j1 / f }' times.txt
# 200 takes of 5 to 15 s as sox and ffmpeg write 24-bit stereo
# (WAVE_FORMAT_EXTENSIBLE, re-laid as they are converted) against the same
# 200 in the plain layout, one at a time: the cost per byte.
python3 - <<'PY'
import os, random, struct
random.seed(11)
os.makedirs('plain', exist_ok=True)
os.makedirs('extensible', exist_ok=True)
guid = bytes([1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
for i in range(200):
    data = os.urandom(random.randint(240000, 720000) * 6)
    plain = struct.pack('<4sIHHIIHH', b'fmt ', 16, 1, 2, 48000, 288000, 6, 24)
    ext = struct.pack('<4sIHHIIHHHHI', b'fmt ', 40, 0xFFFE, 2, 48000, 288000, 6, 24, 22, 24, 3) + guid
    for folder, fmt in (('plain', plain), ('extensible', ext)):
        with open('%s/take-%03d.wav' % (folder, i), 'wb') as f:
            f.write(b'RIFF' + struct.pack('<I', 4 + len(fmt) + 8 + len(data)) + b'WAVE' + fmt
                    + b'data' + struct.pack('<I', len(data)) + data)
PY
plain_bytes=$(du -sb plain | cut -f1)
ext_bytes=$(du -sb extensible | cut -f1)
# (More rounds: the two differ by less than the machine drifts.)
python3 "$here/interleave.py" "${RELAID_ROUNDS:-7}" "find plain extensible -name 'velkoran-*' -delete" \
  "plain=$drop --jobs 1 plain" "extensible=$drop --jobs 1 extensible" >relaid.txt
cat relaid.txt
awk -v p="$plain_bytes" -v e="$ext_bytes" '$1 == "plain" { a = $2 } $1 == "extensible" { b = $2 }
     END { printf "re-laid / plain, per byte = %.2f (at most 1.1)\n", (b / e) / (a / p) }' relaid.txt

# A second run over the converted library: nothing to write.
eval "$clean"
"$drop" takes >/dev/null
start=$(date +%s%N)
"$drop" takes >/dev/null
echo "second run over the converted library: $((($(date +%s%N) - start) / 1000000)) ms"
