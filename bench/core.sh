#!/bin/sh
# Audio core speed on a generated ~106 MB 16-bit stereo 44.1 kHz file (600 s of noise), all
# from the page cache, best of 3 runs each, side by side in one run:
#   orva-cli peak       vs  cat FILE > /dev/null             (goal <= 1.25)
#   orva-cli normalize  vs  cat SRC > DST, DST fresh         (goal <= 1.2)
#   orva-cli normalize  vs  cat SRC > DST, DST replaced      (for information: the finished
#                       output is renamed over DST, which makes ext4 start writing it out)
#   orva-cli normalize  vs  sox --norm -D, normalize-audio --peak (ORVA fastest)
#   orva-cli resample   vs  sox SRC -r 48000 DST             (goal: no slower than sox)
# then the same ~106 MB as 24-bit stereo and as 32-bit float stereo:
#   orva-cli peak       vs  cat FILE > /dev/null             (limit 1.3)
#   orva-cli normalize  vs  cat SRC > DST (fresh file)       (goal <= 1.2, limit 1.3)
#   orva-cli normalize  vs  sox --norm
# Usage: bench/core.sh [BUILD_DIR]   (default: build; ORVA_BENCH_SECONDS changes the length)
set -eu
NAME='core'
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"

SRC=$WORK/src.wav
DST=$WORK/dst.wav
noise "$SRC" "$SECONDS_OF_AUDIO" -b 16

PEAK=$("$CLI" peak "$SRC" | sed -n 's/^peak=//p')
echo "core: $MB MB, 16-bit stereo 44.1 kHz, peak $PEAK"

best t_cat cat "$SRC"
best t_peak "$CLI" peak "$SRC"
report "orva-cli peak" "$t_peak" "cat FILE > /dev/null" "$t_cat" "(goal <= 1.25)" "$t_peak_cpu" "$t_cat_cpu"

# A fresh output: written to a temporary file and published under its name when complete.
best_fresh t_copy_fresh "$DST" sh -c 'cat "$1" > "$2"' sh "$SRC" "$DST"
best_fresh t_norm_fresh "$DST" "$CLI" normalize "$SRC" "$DST" --peak "$PEAK"
report "normalize, fresh DST" "$t_norm_fresh" "cat SRC > DST, fresh" "$t_copy_fresh" "(goal <= 1.2)" \
    "$t_norm_fresh_cpu" "$t_copy_fresh_cpu"

best t_copy sh -c 'cat "$1" > "$2"' sh "$SRC" "$DST"
best t_norm "$CLI" normalize "$SRC" "$DST" --peak "$PEAK"
report "normalize, DST replaced" "$t_norm" "cat SRC > DST" "$t_copy" "(for information)" "$t_norm_cpu" "$t_copy_cpu"

best t_sox sox --norm -D "$SRC" "$WORK/sox.wav"
report "orva-cli normalize" "$t_norm" "sox --norm -D" "$t_sox" "(ORVA fastest: ratio < 1)" "$t_norm_cpu" "$t_sox_cpu"
if command -v normalize-audio >/dev/null; then
    # normalize-audio works in place: each run gets a fresh copy, whose time is taken out.
    best t_cp cp "$SRC" "$WORK/na.wav"
    best t_na sh -c 'cp "$1" "$2" && normalize-audio -q --peak "$2"' sh "$SRC" "$WORK/na.wav"
    t_na=$(awk -v a="$t_na" -v b="$t_cp" 'BEGIN { print a - b }')
    report "orva-cli normalize" "$t_norm" "normalize-audio --peak" "$t_na" "(ORVA fastest: ratio < 1)"
else
    echo "core: normalize-audio is not installed; that comparison is skipped"
fi

best t_res "$CLI" resample "$SRC" "$DST" 48000
best t_soxr sox "$SRC" -r 48000 "$WORK/sox48.wav"
report "orva-cli resample 48k" "$t_res" "sox -r 48000" "$t_soxr" "(goal <= 1.0)" "$t_res_cpu" "$t_soxr_cpu"

# Wider formats: the same byte count as the 16-bit file, so that the ratios compare.
for kind in s24 f32; do
    case $kind in
    s24) FRAMES_SECONDS=$((SECONDS_OF_AUDIO * 2 / 3)); OPTS="-b 24 -e signed-integer" ;;
    f32) FRAMES_SECONDS=$((SECONDS_OF_AUDIO / 2)); OPTS="-b 32 -e floating-point" ;;
    esac
    WIDE=$WORK/$kind.wav
    rm -f "$SRC" "$DST" "$WORK/sox.wav" "$WORK/sox48.wav"
    # shellcheck disable=SC2086
    noise "$WIDE" "$FRAMES_SECONDS" $OPTS
    PEAK=$("$CLI" peak "$WIDE" | sed -n 's/^peak=//p')
    echo "core: $MB MB, $kind stereo 44.1 kHz, peak $PEAK"
    best t_cat cat "$WIDE"
    best t_peak "$CLI" peak "$WIDE"
    report "orva-cli peak $kind" "$t_peak" "cat FILE > /dev/null" "$t_cat" "(limit 1.3)" "$t_peak_cpu" "$t_cat_cpu"
    # A fresh output each run: the copy and the normalization both create their file.
    best_fresh t_copy "$DST" sh -c 'cat "$1" > "$2"' sh "$WIDE" "$DST"
    best_fresh t_norm "$DST" "$CLI" normalize "$WIDE" "$DST" --peak "$PEAK"
    report "orva-cli normalize $kind" "$t_norm" "cat SRC > DST" "$t_copy" "(goal <= 1.2, limit 1.3)" "$t_norm_cpu" "$t_copy_cpu"
    best_fresh t_sox "$WORK/sox.wav" sox --norm "$WIDE" "$WORK/sox.wav"
    report "orva-cli normalize $kind" "$t_norm" "sox --norm" "$t_sox" "(ORVA fastest: ratio < 1)" "$t_norm_cpu" "$t_sox_cpu"
    rm -f "$WIDE" "$DST" "$WORK/sox.wav"
done
