#!/usr/bin/env bash
# Walk benchmark: the launcher's exhaustive JVM search over "/" (looking for
# a unique name, so that nothing is verified) against `find / -name NAME`
# pruning the same pseudo file systems, as a wall-time ratio on a warm cache
# (goal: at most 1.0).
# Usage: bench/walk_bench.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
name="cvbench-absent-$$-$RANDOM"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/absent.jvm" <<TAG
DESC: nothing to find
JVM_EXE: $name
JVM_PROPERTIES: java.version=...
SEARCH_ALL: 1
TAG
cat > "$work/search.tag" <<TAG
ACTION: SEARCH_ALL
JVM: $work/absent.jvm
TAG

pseudo=(proc sysfs devtmpfs devpts cgroup cgroup2 securityfs debugfs tracefs pstore bpf
        configfs mqueue hugetlbfs fusectl binfmt_misc autofs)
prune=()
for type in "${pseudo[@]}"; do prune+=(-fstype "$type" -o); done
prune+=(-path /var/tmp)

now() { date +%s%N; }
run_find() { find / \( "${prune[@]}" \) -prune -o -name "$name" -print 2>/dev/null || true; }
run_launcher() { "$build/cvlaunch" -cv:tempdir "$work" -cv:in "$work/search.tag"; }

run_find >/dev/null  # warm the cache
run_launcher >/dev/null

start=$(now); run_find >/dev/null; end=$(now)
find_ms=$(((end - start) / 1000000))
start=$(now); found=$(run_launcher); end=$(now)
walk_ms=$(((end - start) / 1000000))

echo "find / -name:            ${find_ms} ms"
echo "launcher SEARCH_ALL walk: ${walk_ms} ms (reported: $(echo "$found" | head -n 1) matches)"
awk -v a="$walk_ms" -v b="$find_ms" 'BEGIN { printf "wall-time ratio: %.2f (goal: at most 1.0)\n", a / (b > 0 ? b : 1) }'
