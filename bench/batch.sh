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
"$CLI" batch --settings "$WORK/ORVA.INI" --quiet --output "$WORK/out-batch" "$WORK"/in/*.wav >/dev/null
batch=$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')

start=$(now)
for f in "$WORK"/in/*.wav; do
    "$CLI" normalize "$f" "$WORK/out-loop/${f##*/}" >/dev/null
done
loop=$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')

cmp -s "$WORK/out-batch/f0.wav" "$WORK/out-loop/f0.wav" || { echo "batch: outputs differ" >&2; exit 1; }
awk -v n="$COUNT" -v b="$batch" -v l="$loop" 'BEGIN {
    printf "batch: %d files of 3 s: orva-cli batch %.3f s, normalize loop %.3f s, ratio %.3f (goal <= 1.5)\n", n, b, l, b / l }'

# Both cores for the MP3 step: 8 thirty-second files encoded in-process at 128 kbps, best of
# three with --jobs 1 against --jobs 2 (the same outputs), plain, with a loudness target and
# with a rate conversion. Goal: ratio <= 0.6 on 2 cores.
mkdir "$WORK/mp3in"
i=0
while [ $i -lt 8 ]; do
    sox -n -r 44100 -c 2 -b 16 "$WORK/mp3in/s$i.wav" synth 30 sine $((300 + 50 * i)) vol 0.4
    i=$((i + 1))
done
best_batch() {
    best=""
    for _ in 1 2 3; do
        rm -rf "$WORK/mp3out"
        mkdir "$WORK/mp3out"
        start=$(now)
        "$CLI" batch --settings "$WORK/ORVA.INI" --quiet --output "$WORK/mp3out" --mp3 128 "$@" \
            "$WORK"/mp3in/*.wav >/dev/null
        best=$(smaller "$best" "$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')")
    done
    echo "$best"
}
for variant in plain loudness resample; do
    case $variant in
        plain) flags="" ;;
        loudness) flags="--mode loudness --target -16" ;;
        resample) flags="--resample 48000" ;;
    esac
    # shellcheck disable=SC2086
    one=$(best_batch --jobs 1 $flags)
    # shellcheck disable=SC2086
    two=$(best_batch --jobs 2 $flags)
    awk -v v="$variant" -v o="$one" -v t="$two" 'BEGIN {
        printf "batch: 8 x 30 s with MP3 (%s): --jobs 1 %.3f s, --jobs 2 %.3f s, ratio %.3f (goal <= 0.6; 1.0 before, one entry at a time)\n", v, o, t, t / o }'
done
