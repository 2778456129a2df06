#!/bin/sh
# Loudness analysis and loudness-mode normalization on a generated ~106 MB 16-bit stereo
# 44.1 kHz file (600 s of noise), from the page cache, best of 3 runs each:
#   orva-cli analyze (loudness, range, true peak)  vs  ffmpeg -af ebur128=peak=true
#                                                          (goal <= 0.5; skipped without ffmpeg)
#   orva-cli normalize --mode loudness  vs  orva-cli analyze + 1.3 x (cat SRC > DST)  (goal <= 1.0)
# Usage: bench/loudness.sh [BUILD_DIR]   (default: build; ORVA_BENCH_SECONDS changes the length)
set -eu
NAME='loudness'
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"

SRC=$WORK/src.wav
DST=$WORK/dst.wav
noise "$SRC" "$SECONDS_OF_AUDIO" -b 16

echo "loudness: $MB MB, 16-bit stereo 44.1 kHz"
best t_analyze "$CLI" analyze "$SRC"
if command -v ffmpeg >/dev/null; then
    best t_ffmpeg ffmpeg -nostdin -hide_banner -i "$SRC" -af ebur128=peak=true -f null -
    report "orva-cli analyze" "$t_analyze" "ffmpeg -af ebur128=peak=true" "$t_ffmpeg" "(goal <= 0.5)"
else
    echo "loudness: ffmpeg is not installed; the analysis comparison is skipped"
fi

best t_copy sh -c 'cat "$1" > "$2"' sh "$SRC" "$DST"
best t_norm "$CLI" normalize "$SRC" "$DST" --mode loudness --target -16
t_budget=$(awk -v a="$t_analyze" -v c="$t_copy" 'BEGIN { print a + 1.3 * c }')
report "orva-cli normalize loudness" "$t_norm" "analyze + 1.3 x cat SRC > DST" "$t_budget" "(goal <= 1.0)"
