#!/usr/bin/env bash
# Capture benchmark: a captured launch (no DISPLAY_CONSOLE: the launcher reads
# the program's output and keeps at most 8 MiB of each stream for the log) of
# a program that writes 10 MB and 50 MB, against the same program writing
# into a pipe (`prog | cat >/dev/null`), as a wall-time ratio (goal: about
# 1.0), with the launcher's peak memory (maximum resident set size, from
# /usr/bin/time), which must not grow with the output. A program that writes
# nothing shows the fixed cost of a launch.
# Usage: bench/capture_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/writer" <<'PROG'
#!/bin/sh
yes 0123456789 | head -c "$BENCH_BYTES"
PROG
chmod +x "$work/writer"
cat > "$work/program.tag" <<TAG
INSTRUCTIONS:
  ILAUNCH 7 0
/:
TAG
cat > "$work/writer.jvm" <<TAG
JVM_HOME: $work
JVM_EXE: writer
TAG
cat > "$work/launch.tag" <<TAG
COMMAND: @JVM_HOME@/@JVM_EXE@
TAG
"$build/cvpack" --no-verify-archive --instructions "$work/program.tag" \
    --launch-script "$work/launch.tag" --jvm "$work/writer.jvm" --id 7 -o "$work/launcher"

now() { date +%s%N; }
# The average wall time of a run of the command, in milliseconds.
time_runs() {
    local start end
    start=$(now)
    for _ in $(seq "$runs"); do "$@" >/dev/null 2>&1; done
    end=$(now)
    echo $(((end - start) / runs / 1000000))
}
launch() { "$work/launcher" -cv:tempdir "$work" "$@"; }
piped() { "$work/writer" | cat >/dev/null; }

if [ -x /usr/bin/time ]; then
    peak_of() {
        /usr/bin/time -f %M -o "$work/peak" "$@" >/dev/null 2>&1
        echo "$(cat "$work/peak") KB"
    }
else
    echo "/usr/bin/time is missing: no peak memory figures"
    peak_of() { echo "unknown"; }
fi

for mb in 0 10 50; do
    export BENCH_BYTES=$((mb * 1000000))
    # A launch whose output went elsewhere would look fast.
    launch -cv:log "$work/capture.log" >/dev/null 2>&1
    [ "$mb" = 0 ] || grep -q "bytes of output not kept" "$work/capture.log" || {
        echo "the launch did not capture the program's output:" >&2
        tail -n 5 "$work/capture.log" >&2
        exit 1
    }
    rm -f "$work/capture.log"
    piped >/dev/null  # warm the caches
    pipe_ms=$(time_runs piped)
    launch_ms=$(time_runs launch)
    echo "$mb MB: prog | cat ${pipe_ms} ms, captured launch ${launch_ms} ms ($runs runs each)"
    [ "$mb" = 0 ] && echo "  (the fixed cost of a launch)" || awk -v a="$launch_ms" -v b="$pipe_ms" \
        'BEGIN { printf "  wall-time ratio: %.2f (goal: about 1.0)\n", a / (b > 0 ? b : 1) }'
    echo "  launcher peak memory: $(peak_of "$work/launcher" -cv:tempdir "$work")"
done
