#!/usr/bin/env bash
# Extraction benchmark: a 200 MB embedded file extracted by the launcher
# ("-cv:extract") against `dd bs=61439` copying the same bytes out of the same
# launcher file, as throughput figures and their ratio, best of three runs on
# a warm cache (goal: launcher/dd at least 0.9).
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
# Best (shortest) of three timed runs of a command, in nanoseconds.
best_of_three() {
    local best=0 start end
    for _ in 1 2 3; do
        rm -f "$work"/out/*
        start=$(now); "$1"; end=$(now)
        if [ "$best" -eq 0 ] || [ $((end - start)) -lt "$best" ]; then best=$((end - start)); fi
    done
    echo "$best"
}

cat "$work/launcher" > /dev/null  # warm the cache
launcher_ns=$(best_of_three run_launcher)
dd_ns=$(best_of_three run_dd)
run_launcher
cmp -s "$work/app.jar" "$work/out/app.jar" || { echo "extracted file differs" >&2; exit 1; }

awk -v bytes="$size" -v l="$launcher_ns" -v d="$dd_ns" 'BEGIN {
    lt = bytes / 1048576 / (l / 1e9); dt = bytes / 1048576 / (d / 1e9)
    printf "launcher -cv:extract: %8.1f MB/s (%d ms)\n", lt, l / 1e6
    printf "dd bs=61439:          %8.1f MB/s (%d ms)\n", dt, d / 1e6
    printf "throughput ratio launcher/dd: %.2f (goal: at least 0.9)\n", lt / dt
}'
