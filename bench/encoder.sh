#!/bin/bash
# Encoder benchmark: a ~100 MB 16-bit stereo WAV at 128 kbps through TGogoTea + libgogo.so,
# against Debian's `lame -b 128` on the same file in the same run. Each is timed three
# times, alternating, and the best wall-clock time counts. Goal: ratio <= 1.10.
#
#   bench/encoder.sh [BUILD_DIR]        (ORVA_BENCH_MB=20 for a shorter run)
set -euo pipefail

build=${1:-build}
megabytes=${ORVA_BENCH_MB:-100}
driver="$build/tests/gogo_bench"
for tool in sox lame; do
    command -v "$tool" >/dev/null || { echo "encoder: $tool is missing (scripts/bootstrap installs it)" >&2; exit 1; }
done
[ -x "$driver" ] || { echo "encoder: $driver not built" >&2; exit 1; }
[ -f "$build/libgogo.so" ] || { echo "encoder: $build/libgogo.so not built" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=$(( megabytes * 1000000 / 176400 ))
# Music-like material: a tone over pink noise (silence would flatter the encoder).
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth "$seconds" sine 440 pinknoise vol 0.3

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

best_gogo=""
best_lame=""
for round in 1 2 3; do
    start=$(now)
    "$driver" "$work/in.wav" "$work/gogo.mp3" --bitrate 128 >/dev/null
    best_gogo=$(smaller "$best_gogo" "$(elapsed "$start")")
    start=$(now)
    lame --quiet -b 128 "$work/in.wav" "$work/lame.mp3"
    best_lame=$(smaller "$best_lame" "$(elapsed "$start")")
done
awk -v mb="$megabytes" -v g="$best_gogo" -v l="$best_lame" 'BEGIN {
    printf "encoder: %d MB WAV at 128 kbps: TGogoTea+libgogo.so %.2f s, lame -b 128 %.2f s, ratio %.2f (goal <= 1.10)\n", mb, g, l, g / l
}'
