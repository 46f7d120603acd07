#!/usr/bin/env bash
# The progress indication, seen through a pseudo-terminal (script): on a slow
# input that takes more than a second, it appears after the tag line on
# standard error, and once the run has ended the screen holds exactly what it
# holds without it; with standard error redirected, nothing of it is written
# anywhere, and the output file is the same either way.
# Usage: progress.sh VELKORAN
# Exits 77 (skipped, for ctest) where script or python3 is missing.
set -euo pipefail
for tool in script python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
program=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

# 4 MB of 16-bit stereo, delivered through a FIFO in three parts, 1.3 s and
# 0.5 s apart: the run takes about two seconds, and its length is unknown.
python3 - <<'PY'
import struct
d = bytes(range(256)) * 15625
open('recording.wav', 'wb').write(b'RIFF' + struct.pack('<I', 36 + len(d)) + b'WAVEfmt '
    + struct.pack('<IHHIIHH', 16, 1, 2, 48000, 192000, 4, 16) + b'data' + struct.pack('<I', len(d)) + d)
PY
slowly() {  # delivers recording.wav through the FIFO in.wav
  rm -f in.wav && mkfifo in.wav
  { head -c 1000000 recording.wav; sleep 1.3; tail -c +1000001 recording.wav | head -c 1000000
    sleep 0.5; tail -c +2000001 recording.wav; } >in.wav &
}
# What a terminal shows for a byte stream: line feeds, carriage returns and
# backspaces move the cursor; every other byte is written where it stands.
cat >screen.py <<'PY'
import sys
lines, row, col = [[]], 0, 0
for b in open(sys.argv[1], 'rb').read():
    if b == 10:
        row += 1; col = 0
        if row == len(lines): lines.append([])
    elif b == 13: col = 0
    elif b == 8: col = max(0, col - 1)
    else:
        line = lines[row]
        line.extend([32] * (col + 1 - len(line)))
        line[col] = b; col += 1
sys.stdout.buffer.write(b'\n'.join(bytes(l).rstrip(b' ') for l in lines))
PY

failed=0
fail() { echo "FAIL: $1"; failed=1; }

slowly
script -q -e -c "$program in.wav" /dev/null >transcript || fail "status $? on a terminal"
mv velkoran-in.wav on-terminal.wav
grep -q ' [0-9]* MB' transcript || fail "no indication appeared on the terminal"
want=$'\n Convert in.wav to Velkoran format (velkoran-in.wav)\n\ntag=1'
[ "$(python3 screen.py transcript)" = "$want" ] ||
  { fail "the screen at the end is not the one without it:"; python3 screen.py transcript | od -c; }

slowly
script -q -e -c "$program in.wav 2>errors" /dev/null >transcript || fail "status $? with errors redirected"
[ ! -s errors ] || fail "the indication went into a redirected standard error"
if grep -q $'\b' transcript; then fail "the indication showed with standard error redirected"; fi
cmp -s on-terminal.wav velkoran-in.wav || fail "the output differs with the indication shown"

[ "$failed" -eq 0 ] && echo "1 passed, 0 failed" || { echo "0 passed, 1 failed"; exit 1; }
