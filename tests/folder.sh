#!/usr/bin/env bash
# The README's ways of converting a folder of recordings, each run on a tree
# as users have one: nested folders, names a shell would split or run (spaces,
# & ; $ ' and the like), a name that starts with "-", non-ASCII names, an
# earlier output, refused files, and layouts that velkoran-prep re-lays. Each
# must put every output beside its input, byte for byte as velkoran (after
# velkoran-prep, where the layout needs it) gives it by hand, and only there;
# pass over the earlier output; list exactly the files that were not
# converted; and end with a failing status. The many-machines command logs in
# through real ssh: an sshd started here on the loopback address, with keys
# made for it, stands for both hosts.
# Every command is checked to stand in the README word for word.
# Usage: folder.sh VELKORAN-DROP   (velkoran and velkoran-prep beside it)
# Exits 77 (skipped, for ctest) where GNU parallel or OpenSSH is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
readme=$here/../README.md
drop=$(realpath "$1")
bin_dir=$(dirname "$drop")
for tool in parallel jq ssh ssh-keygen /usr/sbin/sshd; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
cleanup() {
  [ -s "$work/ssh/sshd.pid" ] && kill "$(cat "$work/ssh/sshd.pid")" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

passed=0 failed=0
fail() { echo "FAIL $1: $2"; failed=$((failed + 1)); }
in_readme() {  # every line of a command must stand in the README as it is
  local line
  while IFS= read -r line; do
    grep -qF -- "$line" "$readme" || { echo "not in the README: $line"; return 1; }
  done <<<"$1"
}

# The programs on the PATH, as installed ones are, here and for ssh logins.
mkdir "$work/bin"
for p in velkoran velkoran-prep velkoran-drop; do ln -s "$bin_dir/$p" "$work/bin/$p"; done
export PATH="$work/bin:$PATH"

tones=$here/../examples/tones.wav
recordings=("Day 1/Take 01.wav" "Day 1/Sub/Übung-日本.wav" "-lead.wav" "R&B; \$HOME's take.wav")
relaid=("Day 2/junk first.wav")
refused=("Day 2/mono.wav" "Day 2/bad.wav")
make_tree() {
  rm -rf "$1" && mkdir -p "$1/Day 1/Sub" "$1/Day 2"
  local r
  for r in "${recordings[@]}"; do cp -- "$tones" "$1/$r"; done
  # A JUNK chunk before the format chunk: velkoran-prep's to re-lay.
  python3 - "$tones" "$1/${relaid[0]}" <<'PY'
import struct, sys
b = open(sys.argv[1], 'rb').read()
junk = b'JUNK' + struct.pack('<I', 4) + b'abcd'
open(sys.argv[2], 'wb').write(b'RIFF' + struct.pack('<I', 4 + len(junk) + len(b) - 12) + b'WAVE' + junk + b[12:])
PY
  # An earlier output, which must not be converted again.
  cp "$work/want.wav" "$1/Day 2/velkoran-Take 01.wav"
  # Mono: the channel count, at offset 22, set to 1.
  { head -c 22 "$tones"; printf '\x01'; tail -c +24 "$tones"; } >"$1/Day 2/mono.wav"
  printf 'not a recording' >"$1/Day 2/bad.wav"
  printf 'notes' >"$1/notes.txt"
}
# What converting the recordings gives, by hand.
(cd "$work" && cp "$tones" tones.wav && velkoran tones.wav >/dev/null && mv velkoran-tones.wav want.wav &&
  make_tree "$work/hand" && cd "$work/hand/Day 2" && velkoran-prep "junk first.wav" t.wav >/dev/null &&
  velkoran t.wav >/dev/null && mv velkoran-t.wav "$work/want-relaid.wav")

check_tree() {  # name tree listed-failures
  local name=$1 tree=$2 r outputs want_outputs out
  for r in "${recordings[@]}"; do
    out="$(dirname -- "$tree/$r")/velkoran-$(basename -- "$r")"
    cmp -s -- "$out" "$work/want.wav" || { fail "$name" "no right output beside $r"; return; }
  done
  cmp -s "$tree/Day 2/velkoran-junk first.wav" "$work/want-relaid.wav" ||
    { fail "$name" "the re-laid file's output is not velkoran-prep's and velkoran's"; return; }
  cmp -s "$tree/Day 2/velkoran-Take 01.wav" "$work/want.wav" || { fail "$name" "the earlier output changed"; return; }
  want_outputs=$(printf '%s\n' "${recordings[@]}" "${relaid[@]}" "Day 2/Take 01.wav" |
    sed 's|\(.*/\)\{0,1\}\([^/]*\)$|\1velkoran-\2|' | sort)
  outputs=$(cd "$tree" && find . -name 'velkoran-*' | sed 's|^\./||' | sort)
  [ "$outputs" = "$want_outputs" ] || { fail "$name" "outputs elsewhere than beside their inputs: $outputs"; return; }
  [ -z "$(cd "$tree" && find . -name '.velkoran-*')" ] || { fail "$name" "a new file was left"; return; }
  [ "$(sort <<<"$3")" = "$(printf '%s\n' "${refused[@]}" | sort)" ] || { fail "$name" "listed as not converted: '$3'"; return; }
  echo "ok $name"
  passed=$((passed + 1))
}

run_command() {  # name command [what-it-runs-instead]
  local name=$1 tree=$work/$1 listed status=0
  in_readme "$2" || { fail "$name" "the command is not the README's"; return; }
  make_tree "$tree"
  listed=$(cd "$tree" && bash -c "${3:-$2}" 2>"$work/errors") || status=$?
  [ "$status" -ne 0 ] || { fail "$name" "status 0 although files were not converted"; return; }
  [ ! -s "$work/errors" ] || { fail "$name" "it wrote to standard error: $(cat "$work/errors")"; return; }
  check_tree "$name" "$tree" "$(sed 's|^\./||' <<<"$listed")"
}

# velkoran-drop on the folder: the files not converted are those its
# summary lists.
run_command drop "velkoran-drop ." "velkoran-drop . | sed -n 's/^  \\(.*\\): not converted: .*/\\1/p'; exit \${PIPESTATUS[0]}"

# Two hosts and this machine, the hosts being this machine too, reached
# through an sshd of this test's own on the loopback address.
ssh_dir=$work/ssh
mkdir "$ssh_dir"
ssh-keygen -q -t ed25519 -N '' -f "$ssh_dir/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$ssh_dir/user_key"
cp "$ssh_dir/user_key.pub" "$ssh_dir/authorized_keys"
port=$((20000 + $$ % 20000))
cat >"$ssh_dir/sshd_config" <<EOF
Port $port
ListenAddress 127.0.0.1
HostKey $ssh_dir/host_key
AuthorizedKeysFile $ssh_dir/authorized_keys
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PidFile $ssh_dir/sshd.pid
SetEnv PATH=$work/bin:/usr/bin:/bin
EOF
cat >"$ssh_dir/config" <<EOF
Host host1 host2
  HostName 127.0.0.1
  Port $port
  User $(id -un)
  IdentityFile $ssh_dir/user_key
  IdentitiesOnly yes
  StrictHostKeyChecking no
  UserKnownHostsFile /dev/null
  LogLevel ERROR
EOF
# Run as root, sshd wants the folder its unprivileged part works in.
[ "$(id -u)" -ne 0 ] || mkdir -p /run/sshd
if /usr/sbin/sshd -f "$ssh_dir/sshd_config" -E "$ssh_dir/log" 2>"$ssh_dir/start" &&
  for _ in $(seq 600); do ssh -F "$ssh_dir/config" -o BatchMode=yes host1 true 2>/dev/null && break; sleep 0.1; done &&
  [ "$(ssh -F "$ssh_dir/config" host2 'command -v velkoran-drop')" = "$work/bin/velkoran-drop" ]; then
  export PARALLEL_SSH="ssh -F $ssh_dir/config"
  # The README's two commands, with jobs of 2 recordings so that the tree's
  # few spread over the logins; the status is parallel's (the jobs that had
  # a recording not converted), the paths those jq lists from the reports.
  recipe="find . -iname '*.wav' ! -name 'velkoran-*' -print0 |
  parallel --pipe --recend '\\0' -N 200 --joblog jobs.log --sshlogin host1,host2,: --workdir \"\$PWD\" velkoran-drop --files-from - --null --report - >report.jsonl 2>drop.log
jq -r 'select(.outcome == \"not converted\" or .outcome == \"interrupted\") | .input' report.jsonl"
  jobs_of_2=${recipe/-N 200/-N 2}
  run_command sshlogin "$recipe" "set -o pipefail; ${jobs_of_2%%$'\n'jq*} && s=0 || s=\$?
${recipe##*$'\n'}; exit \$s"
  # A record for every recording, and each job's summary.
  [ "$(jq -s 'map(select(.input)) | length' "$work/sshlogin/report.jsonl")" = \
    $((${#recordings[@]} + ${#relaid[@]} + ${#refused[@]})) ] ||
    fail sshlogin "the reports do not hold a record for each recording"
  # The logins took jobs: the log names the hosts that ran each.
  hosts=$(tail -n +2 "$work/sshlogin/jobs.log" | cut -f 2 | sort -u | tr '\n' ' ')
  echo "hosts that ran jobs: $hosts"
  [[ "$hosts" == *host* ]] || fail sshlogin "no job ran through an ssh login"
else
  echo "skipped: no sshd could be started on the loopback address ($(cat "$ssh_dir/start" "$ssh_dir/log" 2>/dev/null))"
  exit 77
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
