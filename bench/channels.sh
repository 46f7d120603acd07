#!/usr/bin/env bash
# What velkoran-drop costs per byte of recording for each channel count and
# width it converts: 16-bit and 24-bit recordings of 1, 2 and 8 channels and
# 8-bit mono and stereo, 120 MB of samples each, in tmpfs, converted one at a
# time in interleaved rounds (bench/interleave.py). Checks first that sox
# reads each output as the samples it reads from its recording. The target:
# mono and 8 channels within 1.15 times stereo of the same width, per byte.
# Where valgrind is installed, the instructions each conversion takes are
# counted too (callgrind), which the machine's drift does not touch.
# Usage: bench/channels.sh [path/to/velkoran]   (velkoran-drop beside it)
# Needs: sox, python3; valgrind for the counts.
. "$(dirname "$0")/common.sh" channels "${1:-}"
drop=$(dirname "$exe")/velkoran-drop

python3 - <<'PY'
import os, struct
guid = bytes([1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
size = 120 * 1000 * 1000
for bits, channels in ((8, 1), (8, 2), (16, 1), (16, 2), (16, 8), (24, 1), (24, 2), (24, 8)):
    width = bits // 8
    block = width * channels
    data = os.urandom(size // block * block)
    fmt = struct.pack('<4sIHHIIHH', b'fmt ', 16, 1, channels, 48000, 48000 * block, block, bits)
    if channels > 2:
        fmt = struct.pack('<4sIHHIIHHHHI', b'fmt ', 40, 0xFFFE, channels, 48000, 48000 * block,
                          block, bits, 22, bits, 0) + guid
    name = '%d-%d' % (bits, channels)
    os.makedirs(name)
    with open('%s/take.wav' % name, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', 4 + len(fmt) + 8 + len(data)) + b'WAVE' + fmt
                + b'data' + struct.pack('<I', len(data)) + data)
PY
kinds=(8-1 8-2 16-1 16-2 16-8 24-1 24-2 24-8)
for k in "${kinds[@]}"; do
  "$drop" "$k" >/dev/null
  [ "$(sox -V1 "$k/velkoran-take.wav" -t f32 - | sha256sum)" = "$(sox -V1 "$k/take.wav" -t f32 - | sha256sum)" ] ||
    { echo "velkoran-drop and sox disagree on $k" >&2; exit 1; }
done
commands=()
for k in "${kinds[@]}"; do commands+=("$k=$drop --jobs 1 $k"); done
python3 "$here/interleave.py" "${ROUNDS:-7}" "rm -f */velkoran-take.wav" "${commands[@]}" >times.txt
cat times.txt
for k in "${kinds[@]}"; do echo "$k $(stat -c %s "$k/take.wav")"; done >sizes.txt
awk 'NR == FNR { size[$1] = $2; next } { ns[$1] = $2 * 1e6 / size[$1] }
     END { for (k in ns) printf "%s: %.2f ns a byte\n", k, ns[k]
           printf "per byte, mono / stereo: 16-bit %.2f, 24-bit %.2f; 8 channels / stereo: 16-bit %.2f, 24-bit %.2f (at most 1.15); 8-bit mono / stereo %.2f\n",
             ns["16-1"] / ns["16-2"], ns["24-1"] / ns["24-2"], ns["16-8"] / ns["16-2"], ns["24-8"] / ns["24-2"], ns["8-1"] / ns["8-2"] }' sizes.txt times.txt
command -v valgrind >/dev/null || exit 0
for k in "${kinds[@]}"; do
  rm -f "$k/velkoran-take.wav"
  n=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$drop" --jobs 1 "$k" 2>&1 |
    awk '/Collected/ { print $4 }')
  echo "$k $n"
done >instructions.txt
awk 'NR == FNR { size[$1] = $2; next } { ipb[$1] = $2 / size[$1]; printf "%s: %.3f instructions a byte\n", $1, ipb[$1] }
     END { printf "instructions per byte, mono / stereo: 16-bit %.3f, 24-bit %.3f; 8 channels / stereo: 16-bit %.3f, 24-bit %.3f\n",
             ipb["16-1"] / ipb["16-2"], ipb["24-1"] / ipb["24-2"], ipb["16-8"] / ipb["16-2"], ipb["24-8"] / ipb["24-2"] }' sizes.txt instructions.txt
