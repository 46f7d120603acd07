#!/usr/bin/env bash
# The progress indication, seen on a real terminal (tmux renders what the
# program writes): on a slow input, it appears after the tag line, and once
# the run has ended the screen holds exactly what the same run shows without
# it (standard error redirected): at any width, and after a Ctrl-C whose "^C"
# the terminal echoes. With TERM=dumb, or standard error not a terminal,
# nothing of it is written at all, and the output file is the same either
# way. From a file, it shows the percentage read, between 1 and 99 while the
# run goes on. velkoran-drop's counts every recording of the job. (What it
# draws at each moment, its quiet first second and its erasure are tested
# on a clock of their own: tests/progress_test.cpp.)
#
# Nothing here rests on the machine's speed: each slow input is fed (and the
# slow output drained) a little at a time for at least a few seconds, then
# held until the test has seen what it waits for, and only then given the
# rest; every wait has a deadline that only bounds a hang.
# Usage: progress.sh VELKORAN
# Exits 77 (skipped, for ctest) where tmux, python3 or strace is missing.
set -euo pipefail
for tool in tmux python3 strace; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
program=$(realpath "$1")
dir=$(mktemp -d)
socket=velkoran-progress-$$
trap 'tmux -L "$socket" kill-server 2>/dev/null || true; rm -rf "$dir"' EXIT
cd "$dir"

# 4 MB of 16-bit stereo, which each run reads through a FIFO: its length
# is unknown.
python3 - <<'PY'
import struct
d = bytes(range(256)) * 15625
open('recording.wav', 'wb').write(b'RIFF' + struct.pack('<I', 36 + len(d)) + b'WAVEfmt '
    + struct.pack('<IHHIIHH', 16, 1, 2, 48000, 192000, 4, 16) + b'data' + struct.pack('<I', len(d)) + d)
PY
# A slow pipe: `feed.py FROM TO GO FIRST HOLD` copies FROM to TO, its
# first FIRST bytes at once, then 64 KiB every 50 ms (for at least a few
# seconds, so the run outlasts the indication's quiet second) until the
# file GO stands or HOLD bytes are through, then waits for GO, then the
# rest. A reader or writer that has gone (a Ctrl-C) ends it.
cat >feed.py <<'PY'
import os, sys, time
src, dst, go, first, hold = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
deadline = time.monotonic() + 300
try:
    with open(src, 'rb') as i, open(dst, 'wb') as o:
        o.write(i.read(first)); o.flush()
        done = first
        while not os.path.exists(go) and done < hold:
            piece = i.read(65536)
            if not piece:
                break
            o.write(piece); o.flush()
            done += len(piece)
            time.sleep(0.05)
        while not os.path.exists(go) and time.monotonic() < deadline:
            time.sleep(0.05)
        while True:
            piece = i.read(1 << 20)
            if not piece:
                break
            o.write(piece)
except (BrokenPipeError, ConnectionResetError):
    pass
PY
drop=$(dirname "$program")/velkoran-drop
[ ! -x "$drop" ] || python3 - <<'PY'
import os, struct
b = b'RIFF' + struct.pack('<I', 40) + b'WAVEfmt ' + struct.pack('<IHHIIHH', 16, 1, 2, 48000, 192000, 4, 16) + b'data' + struct.pack('<I', 4) + bytes(4)
for i in range(4000):
    os.makedirs('many/%02d' % (i // 1000), exist_ok=True)
    open('many/%02d/t%05d.wav' % (i // 1000, i), 'wb').write(b)
PY
tmux -L "$socket" -f /dev/null new-session -d -s idle -x 80 -y 10

failed=0
fail() { echo "FAIL: $1"; failed=1; }
# Waits until a command succeeds: false after two minutes.
until_true() {
  local end=$((SECONDS + 120))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.05
  done
}
# A terminal's screen, its trailing empty lines dropped.
screen() { tmux -L "$socket" capture-pane -p -t "$1" | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}'; }
# True once a terminal shows the indication.
showing() { [[ "$(screen "$1")" =~ tag=1\ [0-9]+\ MB ]]; }
percent() { [[ "$(screen percent)" =~ tag=1\ ([1-9]|[1-9][0-9])% ]]; }
finished() { [ -s "$1/status" ]; }
# A session whose command waits for the file start-NAME (made once its
# bytes are being recorded, where they are), then runs and writes down its
# status; the terminal stays for its screen to be read.
session() {  # name width command
  tmux -L "$socket" new-session -d -s "$1" -x "$2" -y 40 \
    "until [ -e '$dir/start-$1' ]; do sleep 0.05; done; $3; echo \$? >'$dir/$1/status'; sleep 600"
}
# A run of velkoran on a slow FIFO in a folder and a terminal of its own:
# run NAME WIDTH [ENV] [REDIRECT]. The shell around it catches Ctrl-C (which
# leaves the program the default) to write down its status.
run() {
  local name=$1 width=$2 env=${3:-} redirect=${4:-}
  mkdir "$name"
  ln -s ../recording.wav "$name/recording.wav"
  mkfifo "$name/in.wav"
  python3 feed.py recording.wav "$name/in.wav" go 1000000 3900000 &
  session "$name" "$width" "trap : INT; cd '$dir/$name' && $env '$program' in.wav $redirect"
  touch "start-$name"
}

# (Whole screens are compared as strings: grep -q would stop reading early.)
# Each case beside its twin without the indication; they run at once.
widths=(80 11 10 7)
for w in "${widths[@]}"; do
  run "shown$w" "$w"
  run "hidden$w" "$w" "" "2>errors$w"
done
run shownctrlc 80
run hiddenctrlc 80 "" "2>errorsctrlc"
run shownctrlc11 11
run hiddenctrlc11 11 "" "2>errorsctrlc11"
# Every byte written to that terminal, to see that none of the indication is.
mkdir dumb
ln -s ../recording.wav dumb/recording.wav
mkfifo dumb/in.wav
python3 feed.py recording.wav dumb/in.wav go 1000000 3900000 &
session dumb 80 "cd '$dir/dumb' && TERM=dumb '$program' in.wav"
tmux -L "$socket" pipe-pane -o -t dumb "cat >>'$dir/dumb.bytes'"
touch start-dumb
# From a file, whose length is known, into a FIFO drained slowly: the
# percentage read, past 0 before the end.
mkdir percent && ln -s ../recording.wav percent/take.wav && mkfifo percent/velkoran-take.wav
python3 feed.py percent/velkoran-take.wav percent/received go-percent 1000000 7000000 &
session percent 80 "cd '$dir/percent' && '$program' take.wav"
touch start-percent
# velkoran-drop over 4,000 small takes (made first): the indication counts
# them all. Each file it opens waits a moment (strace), so that the run
# outlasts the quiet second on any machine.
if [ -x "$drop" ]; then
  mkdir many-run
  session many-run 80 "cd '$dir' && strace -f -qq -o /dev/null -e trace=openat \
-e inject=openat:delay_exit=300 '$drop' --jobs 1 many >/dev/null"
  tmux -L "$socket" pipe-pane -o -t many-run "cat >>'$dir/many.bytes'"
  touch start-many-run
fi

for name in shown80 shown11 shownctrlc shownctrlc11; do
  until_true showing "$name" || fail "no indication appeared on the terminal of $name: $(screen "$name")"
done
for name in shownctrlc hiddenctrlc shownctrlc11 hiddenctrlc11; do tmux -L "$socket" send-keys -t "$name" C-c; done
until_true percent || fail "no percentage between 1 and 99: $(screen percent)"
touch go go-percent

for name in "${widths[@]/#/shown}" "${widths[@]/#/hidden}" shownctrlc hiddenctrlc shownctrlc11 \
  hiddenctrlc11 dumb percent; do
  until_true finished "$name" || fail "$name did not finish"
done
for w in "${widths[@]}" ctrlc ctrlc11; do
  [ "$(screen "shown$w")" = "$(screen "hidden$w")" ] ||
    { fail "at $w the screen at the end is not the one without it:"; screen "shown$w" | od -c | tail -5; }
  [ ! -s "hidden$w/errors$w" ] || fail "the indication went into a redirected standard error ($w)"
done
[ "$(cat shown80/status)" = 0 ] || fail "status $(cat shown80/status) on a terminal"
[ "$(cat shownctrlc/status)" = 130 ] || fail "status $(cat shownctrlc/status) after Ctrl-C"
[[ "$(screen shownctrlc)" == *$'\ntag=1^C' ]] || fail "the ^C the terminal echoed is not kept after the tag line"
cmp -s shown80/velkoran-in.wav hidden80/velkoran-in.wav || fail "the output differs with the indication shown"
cmp -s shown80/velkoran-in.wav dumb/velkoran-in.wav || fail "the output differs on a dumb terminal"
grep -q 'tag=1' dumb.bytes && ! grep -q -e $'\033' -e 'MB' dumb.bytes ||
  fail "an indication showed with TERM=dumb"

if [ -x "$drop" ]; then
  until_true finished many-run || fail "velkoran-drop did not finish"
  grep -aqE ' ([0-9]{1,3}|[0-3][0-9]{3}) of 4000 done,' many.bytes ||
    fail "velkoran-drop's indication did not count every recording: $(tr -c '[:print:]' ' ' <many.bytes | tail -c 200)"
fi
[ "$failed" -eq 0 ] && echo "1 passed, 0 failed" || { echo "0 passed, 1 failed"; exit 1; }
