#!/usr/bin/env bash
# The Windows program given a name that is not valid UTF-16 (an unpaired
# surrogate, which NTFS allows): it must not crash, its banner must show the
# name's WTF-8 bytes, and where the file system takes the name the file
# converts as under any other name; where it does not (Wine), the input is
# reported as not opened. The launcher is compiled here with MinGW-w64.
# Usage: windows_names.sh LINUX_PROGRAM WINDOWS_PROGRAM.exe   (under Wine: WINEPREFIX set)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux=$(realpath "$1")
exe=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

x86_64-w64-mingw32-g++ -municode -static -O1 -o launch.exe "$here/windows_names.cpp"
cp "$here/../examples/tones.wav" sample.wav
"$linux" sample.wav >/dev/null

status=0
env LC_ALL=C.UTF-8 wine launch.exe "$(winepath -w "$exe")" sample.wav out.wav >console 2>errors ||
  status=$?
name=$'take-\xed\xa0\x80.wav'
banner=$'\n'" Convert $name to Velkoran format (velkoran-$name)"$'\n\n'
if grep -q '^name taken' errors; then
  want_status=0 want_console="${banner}tag=1"
else
  want_status=1 want_console="${banner}Could not open $name"
fi
got_console=$(tr -d '\r' <console; printf x)
if [ "$status" != "$want_status" ] || [ "${got_console%x}" != "$want_console" ]; then
  echo "FAIL: status $status (want $want_status); console:"; od -c console; cat errors
  exit 1
fi
if [ "$want_status" = 0 ] && ! cmp -s out.wav velkoran-sample.wav; then
  echo "FAIL: the output differs from the Linux build's"
  exit 1
fi
echo "ok ($(head -n 1 errors)): status $status"
