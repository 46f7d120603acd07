#!/usr/bin/env bash
# The README's ways of converting a folder of recordings, each run on a tree
# as users have one: nested folders, spaces, non-ASCII names, a name that
# starts with "-", an earlier output, files that are refused. Each must put
# every output beside its input (and only there), pass over the earlier
# output, list exactly the files that failed, and end with a failing status.
#   folder.sh VELKORAN                       the Linux commands: find, GNU
#                                            parallel, parallel --sshlogin
#   folder.sh --windows VELKORAN.EXE BAT     velkoran-drop.bat under Wine:
#                                            files dropped, a folder dropped
# Every command is checked to stand in the README word for word.
# Exits 77 (skipped, for ctest) where GNU parallel is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
readme=$here/../README.md
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
fail() { echo "FAIL $1: $2"; failed=$((failed + 1)); }
in_readme() {  # every line of a command must stand in the README as it is
  local line
  while IFS= read -r line; do
    grep -qF -- "$line" "$readme" || { echo "not in the README: $line"; return 1; }
  done <<<"$1"
}

# The tree, in $1; and what converting one of its recordings gives, in $work/want.wav.
recordings=("Day 1/Take 01.wav" "Day 1/Sub/Übung-日本.wav" "-lead.wav")
refused=("Day 2/mono.wav" "Day 2/bad.wav")
make_tree() {
  rm -rf "$1" && mkdir -p "$1/Day 1/Sub" "$1/Day 2"
  local r
  for r in "${recordings[@]}"; do cp "$here/../examples/tones.wav" "$1/$r"; done
  # An earlier output, which must not be converted again.
  cp "$work/want.wav" "$1/Day 2/velkoran-Take 01.wav"
  # Mono: the channel count, at offset 22, set to 1.
  { head -c 22 "$here/../examples/tones.wav"; printf '\x01'; tail -c +24 "$here/../examples/tones.wav"; } \
    >"$1/Day 2/mono.wav"
  printf 'not a recording' >"$1/Day 2/bad.wav"
  printf 'notes' >"$1/notes.txt"
}
check_tree() {  # name tree listed-failures
  local name=$1 tree=$2 r outputs want_outputs
  for r in "${recordings[@]}"; do
    local out
    out="$(dirname "$tree/$r")/velkoran-$(basename -- "$r")"
    cmp -s "$out" "$work/want.wav" || { fail "$name" "no right output beside $r"; return; }
  done
  cmp -s "$tree/Day 2/velkoran-Take 01.wav" "$work/want.wav" || { fail "$name" "the earlier output changed"; return; }
  outputs=$(cd "$tree" && find . -name 'velkoran-velkoran-*')
  [ -z "$outputs" ] || { fail "$name" "an earlier output was converted again: $outputs"; return; }
  want_outputs=$(printf '%s\n' "${recordings[@]}" "${refused[@]}" "Day 2/Take 01.wav" |
    sed 's|\(.*/\)\{0,1\}\([^/]*\)$|\1velkoran-\2|' | sort)
  outputs=$(cd "$tree" && find . -name 'velkoran-*' | sed 's|^\./||' | sort)
  [ "$outputs" = "$want_outputs" ] || { fail "$name" "outputs elsewhere than beside their inputs: $outputs"; return; }
  local want_failures
  want_failures=$(printf '%s\n' "${refused[@]}" | sort)
  [ "$(sort <<<"$3")" = "$want_failures" ] || { fail "$name" "listed as failed: '$3'"; return; }
  echo "ok $name"
  passed=$((passed + 1))
}

if [ "${1:-}" != "--windows" ]; then
  command -v parallel >/dev/null || { echo "skipped: GNU parallel is not installed"; exit 77; }
  program=$(realpath "$1")
  (cd "$work" && cp "$here/../examples/tones.wav" . && "$program" tones.wav >/dev/null &&
    mv velkoran-tones.wav want.wav)
  # velkoran on the PATH, as an installed one is.
  mkdir "$work/bin" && ln -s "$program" "$work/bin/velkoran"
  export PATH="$work/bin:$PATH"

  run_linux() {  # name command [what-it-runs-instead]
    local name=$1 tree=$work/$1 listed status=0
    in_readme "$2" || { fail "$name" "the command is not the README's"; return; }
    make_tree "$tree"
    listed=$(cd "$tree" && bash -c "${3:-$2}" 2>"$work/errors") || status=$?
    [ "$status" -ne 0 ] || { fail "$name" "status 0 although files failed"; return; }
    [ ! -s "$work/errors" ] || { fail "$name" "it wrote to standard error: $(cat "$work/errors")"; return; }
    check_tree "$name" "$tree" "$(sed 's|^\./||' <<<"$listed")"
  }
  run_linux find "! find . -name '*.wav' ! -name 'velkoran-*' ! -execdir sh -c 'velkoran \"\${1#./}\" >/dev/null' sh {} \\; -print | grep ."
  run_linux parallel "find . -name '*.wav' ! -name 'velkoran-*' -print0 |
  parallel -0 --joblog jobs.log 'cd {//} && velkoran {/} >/dev/null || { echo {}; false; }'"
  # Other machines run the same over a folder they share at the same path;
  # here it runs on ":", this machine, as no other is at hand.
  ssh="find . -name '*.wav' ! -name 'velkoran-*' -print0 |
  parallel -0 --sshlogin host1,host2,: --workdir \"\$PWD\" 'cd {//} && velkoran {/} >/dev/null || { echo {}; false; }'"
  run_linux sshlogin "$ssh" "${ssh/host1,host2,:/:}"
else
  exe=$(realpath "$2")
  bat=$(realpath "$3")
  mkdir "$work/program"
  cp "$exe" "$bat" "$work/program/"
  (cd "$work" && cp "$here/../examples/tones.wav" . &&
    env LC_ALL=C.UTF-8 wine "$work/program/velkoran.exe" tones.wav >/dev/null && mv velkoran-tones.wav want.wav)
  drop="$(winepath -w "$work/program/velkoran-drop.bat")"

  run_drop() {  # name tree windows-arguments...: the key comes a second late
    local name=$1 tree=$2 console status=0 start
    shift 2
    start=$(date +%s)
    console=$({ sleep 2; echo; } | (cd "$tree" && env LC_ALL=C.UTF-8 wine cmd /c "$drop" "$@") | tr -d '\r') ||
      status=$?
    [ $(($(date +%s) - start)) -ge 2 ] || { fail "$name" "the window did not wait for a key"; return; }
    [ "$status" -eq 1 ] || { fail "$name" "status $status although files failed"; return; }
    local r
    for r in "${recordings[@]}"; do
      [[ "$console" == *" Convert $(basename -- "$r") to Velkoran format (velkoran-$(basename -- "$r"))"* ]] ||
        { fail "$name" "the messages of $r did not show"; return; }
    done
    local listed
    listed=$(sed -n 's/^Not converted: //p' <<<"$console" | while IFS= read -r p; do
      winepath -u "$p" | sed "s|^$tree/||"; done)
    check_tree "$name" "$tree" "$listed"
  }
  # Files dropped: their full paths, several at once.
  make_tree "$work/dropped"
  args=()
  for r in "${recordings[@]}" "${refused[@]}"; do args+=("$(winepath -w "$work/dropped/$r")"); done
  run_drop files "$work/dropped" "${args[@]}"
  # A folder dropped, and the README's command in a console: every recording in it.
  make_tree "$work/folder"
  run_drop folder "$work/folder" "$(winepath -w "$work/folder")"
  make_tree "$work/here"
  in_readme 'velkoran-drop .' || fail console "the command is not the README's"
  run_drop console "$work/here" .
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
