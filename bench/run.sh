#!/usr/bin/env bash
# Speed and memory of velkoran against the floor and its peers.
#
# Generates 10 minutes of stereo 48 kHz noise at 16 and 24 bits (never
# committed), converts each with velkoran, sox, ffmpeg and sndfile-convert,
# checks that all of them produce the same float samples, then times them
# against the floor: reading the input and writing a fresh
# file of the output's size, in interleaved rounds (bench/interleave.py).
# Prints a table of median times, throughput, peak
# resident memory and the ratios.
#
# Usage: bench/run.sh [path/to/velkoran] [minutes]
# Needs: sox, ffmpeg, sndfile-programs, python3.
minutes=${2:-10}
. "$(dirname "$0")/common.sh" bench "${1:-}"

# The most negative sample is planted first: sndfile-convert scales by the
# file's peak otherwise, and it is the case a converter most often gets wrong.
make_input() {  # bits name
  sox -q -n -r 48000 -c 2 -b "$1" -e signed-integer -t wavpcm "$2" \
    synth "$((minutes * 60))" whitenoise vol 0.9
  if [ "$1" = 16 ]; then printf '\x00\x80' ; else printf '\x00\x00\x80'; fi |
    dd of="$2" bs=1 seek=44 conv=notrunc status=none
}

# The samples of a float WAVE file, as raw little-endian floats.
samples_of() { sox -q "$1" -t raw -e floating-point -b 32 -L -; }

printf '| input | command | median ms | MB/s out | peak RSS KiB |\n|---|---|---|---|---|\n' >table.md
for bits in 16 24; do
  in=in$bits.wav
  make_input "$bits" "$in"
  out_bytes=$(( ( $(stat -c %s "$in") - 44) / (bits / 8) * 4 + 44 ))

  declare -A cmds=(
    [velkoran]="$exe $in"
    [floor]="cat $in >/dev/null && dd if=/dev/zero of=floor.out bs=1M count=$out_bytes iflag=count_bytes status=none"
    [sox]="sox -q $in -e floating-point -b 32 -t wavpcm sox.wav"
    [ffmpeg]="ffmpeg -v error -y -i $in -c:a pcm_f32le ffmpeg.wav"
    [sndfile]="sndfile-convert -float32 $in sndfile.wav"
  )
  order=(velkoran floor sox ffmpeg sndfile)

  # Same samples from every converter.
  for c in velkoran sox ffmpeg sndfile; do bash -c "${cmds[$c]}" >/dev/null; done
  mv "velkoran-$in" velkoran.wav
  ref=$(samples_of velkoran.wav | sha256sum)
  for c in sox ffmpeg sndfile; do
    [ "$(samples_of $c.wav | sha256sum)" = "$ref" ] || { echo "$c disagrees on $in" >&2; exit 1; }
  done
  echo "all converters agree on every sample of $in" >&2

  args=()
  for c in "${order[@]}"; do args+=("$c=${cmds[$c]}"); done
  python3 "$here/interleave.py" "${ROUNDS:-25}" \
    'rm -f velkoran-*.wav floor.out sox.wav ffmpeg.wav sndfile.wav' "${args[@]}" >"t$bits.txt"

  for c in "${order[@]}"; do
    mean=$(awk -v c="$c" '$1 == c { print $2 }' "t$bits.txt")
    rss=$(awk -v c="$c" '$1 == c { print $3 }' "t$bits.txt")
    mbs=$(python3 -c "print(round($out_bytes / 1e6 / ($mean / 1000)))")
    printf '| %s-bit | %s | %s | %s | %s |\n' "$bits" "$c" "$mean" "$mbs" "$rss" >>table.md
    eval "mean_${c}_$bits=$mean"
  done
  fastest=$(printf '%s\n' "$(eval echo \$mean_sox_$bits)" "$(eval echo \$mean_ffmpeg_$bits)" \
    "$(eval echo \$mean_sndfile_$bits)" | sort -n | head -n 1)
  python3 -c "print('$bits-bit: fastest peer / velkoran = %.2f, velkoran / floor = %.2f' % ($fastest / $(eval echo \$mean_velkoran_$bits), $(eval echo \$mean_velkoran_$bits) / $(eval echo \$mean_floor_$bits)))" >>ratios.txt
  unset cmds
done
cat table.md
echo
cat ratios.txt
echo
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), inputs in $work"
