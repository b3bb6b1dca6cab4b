#!/usr/bin/env bash
# Finder benchmark: the built cvlaunch as a JVM finder, in microseconds per
# run (medians of many runs):
# - warm (every JVM in the verified-JVM cache) `cvlaunch --find 17+` and
#   `cvlaunch --list` against `update-java-alternatives --list` (Debian's
#   java-common; the row is skipped without it) and `ls /usr/lib/jvm`, which
#   answer less (no versions; only the registered JDKs);
# - cold: with the cache emptied, so that every JDK of the machine is
#   started once, and with the cache knowing all of them but one (one JVM
#   start).
# Figures and ratios only; no goal is asserted here.
# Usage: bench/finder_bench.sh [BUILD_DIR] [RUNS] [COLD_RUNS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-100}
cold_runs=${3:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"
cache="$XDG_CACHE_HOME/cvlaunch/verified-jvms"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# time_runs N [BEFORE] -- COMMAND...: the median of N runs of COMMAND, each
# after BEFORE (not timed) when it is not "-".
time_runs() {
    local n=$1 before=$2 start end  # microseconds, read without a process
    shift 3
    for _ in $(seq "$n"); do
        [ "$before" = - ] || "$before"
        start=${EPOCHREALTIME/./}
        "$@" >/dev/null 2>&1 || true
        end=${EPOCHREALTIME/./}
        echo $((end - start))
    done | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

clear_cache() { rm -rf "$XDG_CACHE_HOME"; }
# The cache after a full run, less the entry of the newest JDK's java.
newest_java=$("$build/cvlaunch" --find)/bin/java
all_but_newest() {
    clear_cache
    "$build/cvlaunch" --list >/dev/null
    awk -v skip="$newest_java" '
        /^JVM[0-9]+:$/ { block = $0; getline; drop = ($1 == skip) }
        /^JVM[0-9]+:$/ || drop { next }
        { if (block != "") { print block; block = "" } print }
    ' "$cache" >"$cache.new"
    mv "$cache.new" "$cache"
}

jdks=$("$build/cvlaunch" --list --jdk | tail -n +2 | wc -l)
echo "JDKs found: $jdks ($runs warm runs, $cold_runs cold runs each)"
"$build/cvlaunch" --list >/dev/null  # warm the cache and the file caches

find_us=$(time_runs "$runs" - -- "$build/cvlaunch" --find 17+)
list_us=$(time_runs "$runs" - -- "$build/cvlaunch" --list)
ls_us=$(time_runs "$runs" - -- ls /usr/lib/jvm)
echo "warm cvlaunch --find 17+:          ${find_us} us"
echo "warm cvlaunch --list:              ${list_us} us"
echo "ls /usr/lib/jvm:                   ${ls_us} us"
if command -v update-java-alternatives >/dev/null; then
    uja_us=$(time_runs "$runs" - -- update-java-alternatives --list)
    echo "update-java-alternatives --list:   ${uja_us} us"
    echo "--find 17+ / update-java-alternatives: $(ratio "$find_us" "$uja_us")"
    echo "--list / update-java-alternatives:     $(ratio "$list_us" "$uja_us")"
else
    echo "update-java-alternatives --list:   skipped (no java-common)"
fi
echo "--find 17+ / ls:                   $(ratio "$find_us" "$ls_us")"
echo "--list / ls:                       $(ratio "$list_us" "$ls_us")"

cold_all=$(time_runs "$cold_runs" clear_cache -- "$build/cvlaunch" --find 17+)
echo "cold --find 17+, $jdks new JDK(s):      ${cold_all} us"
if [ "$jdks" -ge 2 ]; then
    cold_one=$(time_runs "$cold_runs" all_but_newest -- "$build/cvlaunch" --find 17+)
    echo "cold --find 17+, 1 new JDK:         ${cold_one} us"
    echo "cold $jdks new / 1 new:                 $(ratio "$cold_all" "$cold_one")"
fi
echo "cold $jdks new / warm:                  $(ratio "$cold_all" "$find_us")"
