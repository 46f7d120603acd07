#!/usr/bin/env bash
# The project's MD5 against md5sum on 1 GB in the page cache (tmpfs), in
# interleaved rounds, after checking that they agree. The target: at least as
# fast as md5sum per byte (its time at most 1.0 times md5sum's).
# Usage: bench/md5.sh   (needs a C++17 compiler, md5sum, python3)
. "$(dirname "$0")/common.sh" md5 ""
"${CXX:-c++}" -std=c++17 -O2 -I"$here/.." "$here/md5.cpp" "$here/../wave/md5.cpp" -o md5
head -c 1000000000 /dev/urandom >data
[ "$(./md5 data | cut -d' ' -f1)" = "$(md5sum data | cut -d' ' -f1)" ] ||
  { echo "the two digests differ" >&2; exit 1; }
python3 "$here/interleave.py" "${ROUNDS:-5}" : "own=./md5 data" "md5sum=md5sum data" >times.txt
cat times.txt
awk '$1 == "own" { o = $2 } $1 == "md5sum" { m = $2 }
     END { printf "own / md5sum = %.2f (at most 1.0)\n", o / m }' times.txt
