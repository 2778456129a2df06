#!/bin/sh
# The desktop program's analyze command on a generated ~106 MB 16-bit stereo 44.1 kHz file
# (600 s of noise), from the page cache, best of 3 runs each:
#   the main window's analyze command  vs  orva-cli analyze  (goal <= 1.1)
# and the longest time the window's event loop went unserved while it measured.
# Usage: bench/ui.sh [BUILD_DIR]   (default: build; ORVA_BENCH_SECONDS changes the length)
set -eu
NAME='ui'
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
GUI=$(cd "$BUILD" && pwd)/orva-level-bench
[ -x "$GUI" ] || { echo "$NAME: $GUI not built" >&2; exit 1; }

SRC=$WORK/src.wav
noise "$SRC" "$SECONDS_OF_AUDIO" -b 16

echo "ui: $MB MB, 16-bit stereo 44.1 kHz"
best t_cli "$CLI" analyze "$SRC"
# The window's time from the command to the last level shown, best of 3: the program's start
# and its window's first showing are not part of the analysis.
t_gui=""
for _ in 1 2 3; do
    out=$(cd "$WORK" && QT_QPA_PLATFORM=offscreen "$GUI" "$SRC" 2>/dev/null)
    t_gui=$(smaller "$t_gui" "$(echo "$out" | sed -n 's/^measure_s=//p')")
    stall=$(echo "$out" | sed -n 's/^stall_ms=//p')
done
report "window analyze command" "$t_gui" "orva-cli analyze" "$t_cli" "(goal <= 1.1)"
echo "ui: longest event-loop stall while measuring: stall_ms=$stall"
