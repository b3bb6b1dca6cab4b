#!/usr/bin/env bash
# Extraction benchmark: a 200 MB embedded file extracted by the launcher
# ("-cv:extract") against `dd bs=61439` copying the same bytes out of the same
# launcher file, as throughput figures and their ratio: the best of five runs
# of each on a warm cache, the two taking turns so that both see the same load
# (goal: launcher/dd at least 0.95).
# Usage: bench/extract_bench.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
size=$((200 * 1024 * 1024))

head -c "$size" /dev/urandom > "$work/app.jar"
printf 'INSTRUCTIONS:\n  SET N1 = 1\n/:\n' > "$work/setup.ins"
"$build/cvpack" --instructions "$work/setup.ins" --app-archive "$work/app.jar" \
    --no-verify-archive -o "$work/launcher"
offset=$("$build/cvpack" --list "$work/launcher" | awk '$1 == "app-archive" { print $4 }')
mkdir "$work/out"

now() { date +%s%N; }
run_launcher() { (cd "$work/out" && "$work/launcher" -cv:extract >/dev/null); }
run_dd() {
    dd if="$work/launcher" of="$work/out/dd.jar" bs=61439 iflag=skip_bytes,count_bytes \
        skip="$offset" count="$size" status=none
}
# shortest BEST COMMAND: the shorter of BEST (0 for none) and one timed run of
# COMMAND, in nanoseconds.
shortest() {
    local start end
    rm -f "$work"/out/*
    start=$(now); "$2"; end=$(now)
    if [ "$1" -eq 0 ] || [ $((end - start)) -lt "$1" ]; then echo $((end - start)); else echo "$1"; fi
}

cat "$work/launcher" > /dev/null  # warm the cache
launcher_ns=0
dd_ns=0
for _ in 1 2 3 4 5; do
    launcher_ns=$(shortest "$launcher_ns" run_launcher)
    dd_ns=$(shortest "$dd_ns" run_dd)
done
run_launcher
cmp -s "$work/app.jar" "$work/out/app.jar" || { echo "extracted file differs" >&2; exit 1; }

awk -v bytes="$size" -v l="$launcher_ns" -v d="$dd_ns" 'BEGIN {
    lt = bytes / 1048576 / (l / 1e9); dt = bytes / 1048576 / (d / 1e9)
    printf "launcher -cv:extract: %8.1f MB/s (%d ms)\n", lt, l / 1e6
    printf "dd bs=61439:          %8.1f MB/s (%d ms)\n", dt, d / 1e6
    printf "throughput ratio launcher/dd: %.2f (goal: at least 0.95, %s)\n", lt / dt,
        (lt / dt >= 0.95 ? "met" : "NOT met")
}'
