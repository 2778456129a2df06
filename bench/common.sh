# Shared by the bench scripts (sourced, not run): the build to measure, a scratch folder, the
# noise files measured on and best-of-three timing. The sourcing script sets NAME first, for
# the prefix of its lines.
BUILD=${1:-${ORVA_BUILD_DIR:-build}}
CLI=$(cd "$BUILD" && pwd)/orva-cli
[ -x "$CLI" ] || { echo "$NAME: $CLI not built" >&2; exit 1; }
command -v sox >/dev/null || { echo "$NAME: sox is needed to make the test files" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

SECONDS_OF_AUDIO=${ORVA_BENCH_SECONDS:-600}

now() { date +%s.%N; }
smaller() { awk -v m="$1" -v t="$2" 'BEGIN { print (m == "" || t < m) ? t : m }'; }

# On a busy machine elapsed time mostly measures waiting; where perf is installed the CPU
# time (task-clock) of each command is reported beside it.
HAVE_PERF=0
perf stat -x, -e task-clock -o "$WORK/perf.txt" true 2>/dev/null && HAVE_PERF=1

# best_fresh VAR FILE command...: VAR := the shortest elapsed time of three runs (s) and
# VAR_cpu := the smallest CPU time (s) when perf is there. FILE (when not empty) is removed
# before each run, outside the time taken, so that every run writes a new file.
best_fresh() {
    var=$1
    file=$2
    shift 2
    min=""
    mincpu=""
    for _ in 1 2 3; do
        [ -z "$file" ] || rm -f "$file"
        start=$(now)
        "$@" > /dev/null 2>&1
        min=$(smaller "$min" "$(awk -v a="$(now)" -v b="$start" 'BEGIN { print a - b }')")
    done
    if [ $HAVE_PERF = 1 ]; then
        for _ in 1 2 3; do
            [ -z "$file" ] || rm -f "$file"
            perf stat -x, -e task-clock -o "$WORK/perf.txt" "$@" > /dev/null 2>&1
            mincpu=$(smaller "$mincpu" "$(awk -F, '/task-clock/ { print $1 / 1000 }' "$WORK/perf.txt")")
        done
    fi
    eval "$var=$min; ${var}_cpu=${mincpu:-0}"
}
# best VAR command...: as best_fresh, with nothing removed between runs.
best() {
    var=$1
    shift
    best_fresh "$var" "" "$@"
}

# report label seconds baseline-label baseline-seconds goal [cpu baseline-cpu]; MB (when
# set) adds the throughput of both.
report() {
    awk -v n="$NAME" -v l="$1" -v t="$2" -v bl="$3" -v b="$4" -v g="$5" -v c="${6:-0}" -v bc="${7:-0}" \
        -v mb="${MB:-0}" 'BEGIN {
        rate = mb > 0 ? sprintf(" %8.1f MB/s", mb / t) : ""
        baseRate = mb > 0 ? sprintf(" %8.1f MB/s", mb / b) : ""
        printf "%s: %-26s %7.3f s%s | %-30s %7.3f s%s | ratio %.2f %s\n", n, l, t, rate, bl, b, baseRate, t / b, g
        if (c > 0 && bc > 0)
            printf "%s:   cpu time %.3f s vs %.3f s: ratio %.2f\n", n, c, bc, c / bc }'
}

# noise FILE SECONDS SOX-OPTIONS...: FILE := SECONDS of stereo 44.1 kHz white noise in the
# sample format the options give, read once so that the runs find it in the page cache;
# MB := its size in MB.
noise() {
    file=$1
    seconds=$2
    shift 2
    sox -n -r 44100 -c 2 "$@" "$file" synth "$seconds" whitenoise vol 0.5
    MB=$(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf "%.1f", b / 1e6 }')
    cat "$file" > /dev/null
}
