#!/bin/sh
# Batch overhead: 200 three-second 16-bit stereo 44.1 kHz files normalized per file by one
# `orva-cli batch` run, against the same two reads and one write per file done by
# `orva-cli normalize` in a shell loop, measured in the same run. Goal: ratio <= 1.5.
# Usage: bench/batch.sh [BUILD_DIR]   (default: build)
set -eu
NAME='batch'
COUNT=${ORVA_BENCH_FILES:-200}
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"

mkdir "$WORK/in" "$WORK/out-batch" "$WORK/out-loop"
: > "$WORK/ORVA.INI"   # defaults: per-file peak, sources left alone, no conversion, no MP3, no SSTP

sox -n -r 44100 -c 2 -b 16 "$WORK/tone.wav" synth 3 sine 440 vol 0.4
i=0
while [ $i -lt "$COUNT" ]; do
    cp "$WORK/tone.wav" "$WORK/in/f$i.wav"
    i=$((i + 1))
done
rm "$WORK/tone.wav"

start=$(now)
"$CLI" batch --settings "$WORK/ORVA.INI" --output "$WORK/out-batch" "$WORK"/in/*.wav >/dev/null
batch=$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')

start=$(now)
for f in "$WORK"/in/*.wav; do
    "$CLI" normalize "$f" "$WORK/out-loop/${f##*/}" >/dev/null
done
loop=$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')

cmp -s "$WORK/out-batch/f0.wav" "$WORK/out-loop/f0.wav" || { echo "batch: outputs differ" >&2; exit 1; }
awk -v n="$COUNT" -v b="$batch" -v l="$loop" 'BEGIN {
    printf "batch: %d files of 3 s: orva-cli batch %.3f s, normalize loop %.3f s, ratio %.3f (goal <= 1.5)\n", n, b, l, b / l }'
