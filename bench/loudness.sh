#!/bin/sh
# Loudness analysis and loudness-mode normalization on a generated ~106 MB 16-bit stereo
# 44.1 kHz file (600 s of noise), from the page cache, best of 3 runs each:
#   orva-cli analyze (loudness, range, true peak)  vs  ffmpeg -af ebur128=peak=true
#                                                          (goal <= 0.5; skipped without ffmpeg)
#   orva-cli normalize --mode loudness  vs  orva-cli analyze + 1.3 x (cat SRC > DST)  (goal <= 1.0)
# Usage: bench/loudness.sh [BUILD_DIR]   (default: build; ORVA_BENCH_SECONDS changes the length)
set -eu
BUILD=${1:-${ORVA_BUILD_DIR:-build}}
CLI=$(cd "$BUILD" && pwd)/orva-cli
SECONDS_OF_AUDIO=${ORVA_BENCH_SECONDS:-600}
[ -x "$CLI" ] || { echo "loudness: $CLI not built" >&2; exit 1; }
command -v sox >/dev/null || { echo "loudness: sox is needed to make the test file" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
SRC=$WORK/src.wav
DST=$WORK/dst.wav
sox -n -r 44100 -c 2 -b 16 "$SRC" synth "$SECONDS_OF_AUDIO" whitenoise vol 0.5
MB=$(awk -v b="$(stat -c %s "$SRC")" 'BEGIN { printf "%.1f", b / 1e6 }')
cat "$SRC" > /dev/null

now() { date +%s.%N; }
# best VAR command...: VAR := the shortest elapsed time of three runs (s).
best() {
    var=$1
    shift
    min=""
    for _ in 1 2 3; do
        start=$(now)
        "$@" > /dev/null 2>&1
        t=$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')
        min=$(awk -v m="$min" -v t="$t" 'BEGIN { print (m == "" || t < m) ? t : m }')
    done
    eval "$var=$min"
}
report() {  # label seconds baseline-label baseline-seconds goal
    awk -v l="$1" -v t="$2" -v bl="$3" -v b="$4" -v g="$5" 'BEGIN {
        printf "loudness: %-26s %7.3f s | %-34s %7.3f s | ratio %.2f %s\n", l, t, bl, b, t / b, g }'
}

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
