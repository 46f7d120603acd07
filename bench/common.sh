# What each bench script starts with: strict mode, $here (the bench folder),
# $exe (the program under test: the script's first argument, else the release
# build) and $work, a fresh folder to work in (BENCH_DIR, else
# /dev/shm/velkoran-NAME), removed on exit.
# Usage, from a bench script: . "$(dirname "$0")/common.sh" NAME "${1:-}"
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "${2:-$here/../build/release/velkoran}")
work=${BENCH_DIR:-/dev/shm/velkoran-$1}
rm -rf "$work" && mkdir -p "$work" && cd "$work"
trap 'rm -rf "$work"' EXIT
