#!/bin/sh
# Loudness analysis and loudness-mode normalization on a generated ~106 MB 16-bit stereo
# 44.1 kHz file (600 s of noise) and a file of the same size in 24-bit stereo 96 kHz, from
# the page cache, best of 3 runs each:
#   orva-cli analyze (loudness, range, true peak)  vs  ffmpeg -af ebur128=peak=true
#                                                          (goal <= 0.12; skipped without ffmpeg)
#   orva-cli analyze of the 24-bit 96 kHz file per MB  vs  the 16-bit file per MB (goal <= 1.0)
#   orva-cli normalize --mode loudness  vs  orva-cli analyze + 1.3 x (cat SRC > DST), DST fresh
#                                                                             (goal <= 1.0)
# Usage: bench/loudness.sh [BUILD_DIR]   (default: build; ORVA_BENCH_SECONDS changes the length)
set -eu
NAME='loudness'
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"

SRC=$WORK/src.wav
DST=$WORK/dst.wav
noise "$SRC" "$SECONDS_OF_AUDIO" -b 16
MB16=$MB

echo "loudness: $MB MB, 16-bit stereo 44.1 kHz"
best t_analyze "$CLI" analyze "$SRC"
if command -v ffmpeg >/dev/null; then
    best t_ffmpeg ffmpeg -nostdin -hide_banner -i "$SRC" -af ebur128=peak=true -f null -
    report "orva-cli analyze" "$t_analyze" "ffmpeg -af ebur128=peak=true" "$t_ffmpeg" "(goal <= 0.12; 0.30 before)" \
        "$t_analyze_cpu" "$t_ffmpeg_cpu"
else
    echo "loudness: ffmpeg is not installed; the analysis comparison is skipped"
fi

# As many bytes at 24 bits and 96 kHz: 6 bytes a frame at 96000 frames a second.
SRC24=$WORK/src24.wav
sox -V1 -n -r 96000 -c 2 -b 24 "$SRC24" synth "$(awk -v s="$SECONDS_OF_AUDIO" 'BEGIN { print s * 44100 * 4 / 576000 }')" \
    whitenoise vol 0.5
cat "$SRC24" > /dev/null
MB24=$(awk -v b="$(stat -c %s "$SRC24")" 'BEGIN { printf "%.1f", b / 1e6 }')
best t_analyze24 "$CLI" analyze "$SRC24"
MB=
report "analyze 24-bit 96 kHz, s/GB" "$(awk -v t="$t_analyze24" -v m="$MB24" 'BEGIN { print t * 1000 / m }')" \
    "analyze 16-bit 44.1 kHz, s/GB" "$(awk -v t="$t_analyze" -v m="$MB16" 'BEGIN { print t * 1000 / m }')" \
    "(goal <= 1.0; 1.39 before)" "$(awk -v t="$t_analyze24_cpu" -v m="$MB24" 'BEGIN { print t * 1000 / m }')" \
    "$(awk -v t="$t_analyze_cpu" -v m="$MB16" 'BEGIN { print t * 1000 / m }')"
MB=$MB16

# Fresh outputs, as in bench/core.sh: renaming a finished output over an existing file makes
# ext4 start writing it out, which a copy into that file does not.
best_fresh t_copy "$DST" sh -c 'cat "$1" > "$2"' sh "$SRC" "$DST"
best_fresh t_norm "$DST" "$CLI" normalize "$SRC" "$DST" --mode loudness --target -16
t_budget=$(awk -v a="$t_analyze" -v c="$t_copy" 'BEGIN { print a + 1.3 * c }')
report "orva-cli normalize loudness" "$t_norm" "analyze + 1.3 x cat, fresh DST" "$t_budget" "(goal <= 1.0)"
