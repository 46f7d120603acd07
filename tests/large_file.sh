#!/usr/bin/env bash
# Outputs past 2 GiB and past 4 GiB, from sparse inputs (no disk used for
# them). Offsets and sizes must not pass through a 32-bit long (as ftell's
# are on Windows):
#  - 1.2 GB of 16-bit silence with a LIST chunk after the data: a RIFF output
#    of 2.4 GB, its length and two sizes checked;
#  - 2.2 GB of 16-bit samples, the last ones known, with a LIST chunk after
#    them: the output cannot fit RIFF's sizes, so it is RF64, its ds64
#    sizes, its 32-bit ones, its last samples and the chunk checked;
#  - with velkoran-drop (where it is given): the same take, whose line says
#    its output is RF64, and a second run that finds it converted already;
#    then the take in WAVE_FORMAT_EXTENSIBLE, re-laid as it is converted
#    into the same bytes, read twice and never copied;
#  - with velkoran-prep (where it is given): an RF64 input whose data passes
#    4 GiB, a LIST chunk after it, re-laid with "length unknown" sizes and
#    the chunk moved before the data.
# Usage: large_file.sh VELKORAN [VELKORAN-PREP [VELKORAN-DROP]]
#   (VELKORAN_TEST_COMMAND, VELKORAN_TEST_PREP_COMMAND and
#   VELKORAN_TEST_DROP_COMMAND override them)
# Exits 77 (skipped) where there is not space enough for it.
set -euo pipefail
program=${VELKORAN_TEST_COMMAND:-$(realpath "$1")}
prep=${VELKORAN_TEST_PREP_COMMAND:-${2:+$(realpath "$2")}}
drop=${VELKORAN_TEST_DROP_COMMAND:-${3:+$(realpath "$3")}}

# In memory where there is a tmpfs, so no disk fills up: the RF64 output
# takes 4.4 GB, and is removed before the next.
base=${LARGE_FILE_DIR:-$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp )}
free=$(df --output=avail -B1 "$base" | tail -n 1)
if [ "$free" -lt 5000000000 ]; then
  echo "skipped: $base has $free bytes free, 5 GB are needed"
  exit 77
fi
dir=$(mktemp -d "$base/velkoran-large.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cd "$dir"

failed=0
fail() { echo "FAIL: $1"; failed=$((failed + 1)); }
field() { od -An -tu"$3" -j "$2" -N"$3" "$1" | tr -d ' '; }

# A sparse stereo 16-bit file: RIFF (or RF64 with a ds64 chunk, or RIFF
# with the extensible format: EXT), the format chunk, DATA bytes of data whose last 4 frames are 1..8 (or -1..-8), and a
# LIST chunk after them.
make_input() {  # name form data-bytes
  python3 - "$@" <<'PY'
import struct, sys
name, form, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
fmt = b'fmt ' + struct.pack('<IHHIIHH', 16, 1, 2, 48000, 192000, 4, 16)
if form == 'EXT':
    guid = bytes([1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
    fmt = b'fmt ' + struct.pack('<IHHIIHHHHI', 40, 0xFFFE, 2, 48000, 192000, 4, 16, 22, 16, 3) + guid
lst = b'LIST' + struct.pack('<I', 4) + b'INFO'
ds64 = b''
if form == 'RF64':
    riff = 4 + 36 + len(fmt) + 8 + n + len(lst)
    ds64 = b'ds64' + struct.pack('<IQQQI', 28, riff, n, n // 4, 0)
    head = b'RF64' + struct.pack('<I', 0xFFFFFFFF) + b'WAVE' + ds64 + fmt + b'data' + struct.pack('<I', 0xFFFFFFFF)
else:
    head = b'RIFF' + struct.pack('<I', 4 + len(fmt) + 8 + n + len(lst)) + b'WAVE' + fmt + b'data' + struct.pack('<I', n)
with open(name, 'wb') as f:
    f.write(head)
    f.seek(n - 16, 1)
    f.write(struct.pack('<8h', *range(-8, 0)))
    f.write(lst)
PY
}

# 1. 2.4 GB of RIFF output.
data=1200000000
make_input in.wav RIFF $data
$program in.wav >/dev/null
want=$((44 + 2 * data + 12))
size=$(stat -c %s velkoran-in.wav)
echo "RIFF output: $size bytes, RIFF size $(field velkoran-in.wav 4 4), data size $(field velkoran-in.wav 40 4)"
[ "$size" -eq "$want" ] && [ "$(field velkoran-in.wav 4 4)" -eq $((want - 8)) ] &&
  [ "$(field velkoran-in.wav 40 4)" -eq $((2 * data)) ] &&
  [ "$(tail -c 12 velkoran-in.wav | od -An -c | tr -d ' \n')" = 'LIST004\0\0\0INFO' ] ||
  fail "wrong length, sizes or trailing chunk of the RIFF output"
rm -f in.wav velkoran-in.wav

# 2. RF64 past 4 GiB: 2.2 GB of 16-bit in, 4.4 GB out; by velkoran, then
# by velkoran-drop.
data=2200000000
make_input in.wav RIFF $data
# The last 4 frames: -8..-1 / 32768, as floats; then the chunk.
want_tail=$(python3 -c "
import struct, sys
sys.stdout.write(struct.pack('<8f', *[v / 32768 for v in range(-8, 0)]).hex() + b'LIST\\4\\0\\0\\0INFO'.hex())")
check_rf64() {  # what-wrote-it
  local want=$((48 + 24 + 8 + 2 * data + 12)) size
  size=$(stat -c %s velkoran-in.wav)
  echo "RF64 output by $1: $size bytes; ds64: RIFF $(field velkoran-in.wav 20 8)," \
    "data $(field velkoran-in.wav 28 8), frames $(field velkoran-in.wav 36 8)"
  [ "$size" -eq "$want" ] && [ "$(head -c 4 velkoran-in.wav)" = RF64 ] &&
    [ "$(field velkoran-in.wav 4 4)" -eq 4294967295 ] &&
    [ "$(field velkoran-in.wav 20 8)" -eq $((want - 8)) ] &&
    [ "$(field velkoran-in.wav 28 8)" -eq $((2 * data)) ] &&
    [ "$(field velkoran-in.wav 36 8)" -eq $((data / 4)) ] &&
    [ "$(field velkoran-in.wav 76 4)" -eq 4294967295 ] &&
    [ "$(tail -c 44 velkoran-in.wav | od -An -tx1 | tr -d ' \n')" = "$want_tail" ] ||
    fail "$1: not RF64 with its true sizes, its last samples and its chunk"
}
start=$(date +%s)
console=$($program in.wav | tr -d '\r') || fail "status $? past 4 GiB: $console"
echo "velkoran took $(($(date +%s) - start)) s"
[[ "$console" == *"tag=1" ]] || fail "velkoran said: $console"
check_rf64 velkoran
rm -f velkoran-in.wav
if [ -n "$drop" ]; then
  console=$($drop in.wav | tr -d '\r') || fail "velkoran-drop status $?: $console"
  [[ "$console" == "in.wav: converted, as RF64: its output passes 4 GiB"* ]] ||
    fail "velkoran-drop's line does not say RF64: $console"
  check_rf64 velkoran-drop
  console=$($drop in.wav | tr -d '\r') || true
  [[ "$console" == "in.wav: already converted"* ]] || fail "a second run said: $console"
  rm -f in.wav velkoran-in.wav
  make_input in.wav EXT $data
  console=$($drop in.wav | tr -d '\r') || fail "velkoran-drop status $?: $console"
  [[ "$console" == "in.wav: re-laid and converted, as RF64: its output passes 4 GiB"* ]] ||
    fail "velkoran-drop's line does not say re-laid and RF64: $console"
  check_rf64 "velkoran-drop, re-laid"
fi
rm -f in.wav velkoran-in.wav

# 3. velkoran-prep: RF64 data past 4 GiB, a LIST chunk after it.
if [ -n "$prep" ]; then
  data=4300000000
  make_input long.wav RF64 $data
  console=$($prep long.wav plain.wav | tr -d '\r') || fail "velkoran-prep status $?: $console"
  size=$(stat -c %s plain.wav)
  echo "re-laid: $size bytes; $console"
  [ "$size" -eq $((12 + 24 + 12 + 8 + data)) ] && [ "$(field plain.wav 4 4)" -eq 4294967295 ] &&
    [ "$(od -An -tx1 -j 36 -N 16 plain.wav | tr -d ' \n')" = 4c49535404000000494e464f64617461 ] &&
    [ "$(field plain.wav 52 4)" -eq 4294967295 ] &&
    [[ "$console" == *"1 chunk after the data moved before it"* ]] ||
    fail "the RF64 input was not re-laid with its chunk before the data and sizes unknown"
fi

[ "$failed" -eq 0 ] && echo "passed" || exit 1
