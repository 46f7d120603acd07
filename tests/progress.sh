#!/usr/bin/env bash
# The progress indication, seen on a real terminal (tmux renders what the
# program writes): on a slow input that takes more than a second, it appears
# after the tag line, and once the run has ended the screen holds exactly
# what the same run shows without it (standard error redirected): at any
# width, and after a Ctrl-C whose "^C" the terminal echoes. With TERM=dumb,
# or standard error not a terminal, nothing of it is written at all, and the
# output file is the same either way. From a file, it shows the percentage
# read, between 1 and 99 while the run goes on; a run under a second shows
# nothing.
# Usage: progress.sh VELKORAN
# Exits 77 (skipped, for ctest) where tmux or python3 is missing.
set -euo pipefail
for tool in tmux python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
program=$(realpath "$1")
dir=$(mktemp -d)
socket=velkoran-progress-$$
trap 'tmux -L "$socket" kill-server 2>/dev/null || true; rm -rf "$dir"' EXIT
cd "$dir"

# 4 MB of 16-bit stereo, delivered through a FIFO in three parts, 1.2 s and
# 0.8 s apart: the run takes about two seconds, and its length is unknown.
python3 - <<'PY'
import struct
d = bytes(range(256)) * 15625
open('recording.wav', 'wb').write(b'RIFF' + struct.pack('<I', 36 + len(d)) + b'WAVEfmt '
    + struct.pack('<IHHIIHH', 16, 1, 2, 48000, 192000, 4, 16) + b'data' + struct.pack('<I', len(d)) + d)
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

part() { dd if=recording.wav bs=1000000 skip="$1" count=1 status=none; }
# Starts a run in a folder and a terminal of its own: run NAME WIDTH [ENV] [REDIRECT]. The
# shell around it catches Ctrl-C (which leaves the program the default) to
# write down its status.
run() {
  local name=$1 width=$2 env=${3:-} redirect=${4:-}
  mkdir "$name"
  ln -s ../recording.wav "$name/recording.wav"
  (cd "$name" && mkfifo in.wav &&
    { { part 0; sleep 1.2; part 1; sleep 0.8; part 2; part 3; part 4; } >in.wav & })
  tmux -L "$socket" new-session -d -s "$name" -x "$width" -y 40 \
    "trap : INT; cd '$dir/$name' && $env '$program' in.wav $redirect; echo \$? >status; sleep 60"
}
screen() { tmux -L "$socket" capture-pane -p -t "$1" | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}'; }
# Waits until the indication shows in a terminal (at most 2 s); false if it never does.
shows() {
  local i
  for i in $(seq 40); do
    [[ "$(screen "$1")" =~ tag=1\ [0-9]+\ MB ]] && return 0
    sleep 0.05
  done
  return 1
}
finished() {
  local i
  for i in $(seq 100); do [ -s "$1/status" ] && return 0; sleep 0.05; done
  return 1
}

failed=0
fail() { echo "FAIL: $1"; failed=1; }

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
# (It waits a moment, so that every byte it writes is recorded.)
run dumb 80 "sleep 0.5 && TERM=dumb"
# From a file, whose length is known, into a FIFO drained slowly: the
# percentage read, past 0 before the end.
mkdir percent && ln -s ../recording.wav percent/take.wav && mkfifo percent/velkoran-take.wav
python3 -c "import sys, time
f = sys.stdin.buffer
f.read(1000000)
time.sleep(1.2)
while f.read(262144):
    time.sleep(0.1)" <percent/velkoran-take.wav &
tmux -L "$socket" new-session -d -s percent -x 80 -y 40 \
  "cd '$dir/percent' && '$program' take.wav; echo \$? >status; sleep 60"
# A run under a second shows nothing at all.
mkdir quick && ln -s ../recording.wav quick/take.wav
tmux -L "$socket" new-session -d -s quick -x 80 -y 40 \
  "sleep 0.5 && cd '$dir/quick' && '$program' take.wav; echo \$? >status; sleep 60"
tmux -L "$socket" pipe-pane -o -t quick "cat >>'$dir/quick.bytes'"
# velkoran-drop over 4,000 small takes (made first): the indication counts
# them all.
if [ -x "$drop" ]; then
  tmux -L "$socket" new-session -d -s many -x 80 -y 40 \
    "sleep 0.3 && cd '$dir' && '$drop' --jobs 1 many >/dev/null; echo \$? >many/status; sleep 60"
  tmux -L "$socket" pipe-pane -o -t many "cat >>'$dir/many.bytes'"
fi
# Every byte written to that terminal, to see that none of the indication is.
tmux -L "$socket" pipe-pane -o -t dumb "cat >>'$dir/dumb.bytes'"

shows shown80 || fail "no indication appeared on the terminal"
shows shownctrlc && shows shownctrlc11 || fail "no indication to interrupt"
for name in shownctrlc hiddenctrlc shownctrlc11 hiddenctrlc11; do tmux -L "$socket" send-keys -t "$name" C-c; done
for i in $(seq 60); do
  [[ "$(screen percent)" =~ tag=1\ ([1-9]|[1-9][0-9])% ]] && break
  sleep 0.05
done
[[ "$(screen percent)" =~ tag=1\ ([1-9]|[1-9][0-9])% ]] || fail "no percentage between 1 and 99: $(screen percent)"

for name in "${widths[@]/#/shown}" "${widths[@]/#/hidden}" shownctrlc hiddenctrlc shownctrlc11 \
  hiddenctrlc11 dumb percent quick; do
  finished "$name" || fail "$name did not finish"
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
grep -q 'tag=1' quick.bytes && ! grep -q -e $'\033' -e '%' quick.bytes ||
  fail "an indication showed on a run under a second"

if [ -x "$drop" ]; then
  for i in $(seq 600); do [ -s many/status ] && break; sleep 0.05; done
  grep -aqE ' ([0-9]{1,3}|[0-3][0-9]{3}) of 4000 done,' many.bytes ||
    fail "velkoran-drop's indication did not count every recording: $(tr -c '[:print:]' ' ' <many.bytes | tail -c 200)"
fi
[ "$failed" -eq 0 ] && echo "1 passed, 0 failed" || { echo "0 passed, 1 failed"; exit 1; }
