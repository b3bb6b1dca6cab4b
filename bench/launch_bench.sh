#!/usr/bin/env bash
# Launch benchmark: a packaged Hello launch (ILAUNCH, output captured) against
# `java -cp hello.jar Hello` run directly, as a wall-time ratio (goal: at most
# 1.05); the same launch after a verification of the JVM (VERIFY with the
# built verify.jar, then ILAUNCH: two JVM starts) against the direct run, as a
# second ratio; and the time from a captured child's end to the launcher's
# return.
# Usage: bench/launch_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-20}
java_home=$(dirname "$(dirname "$(readlink -f "$(command -v java)")")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/program.tag" <<TAG
INSTRUCTIONS:
  ILAUNCH 7 0
/:
TAG
cat > "$work/verify-program.tag" <<TAG
INSTRUCTIONS:
  VERIFY 0 0 7
  JMP0 @N1@ end
  ILAUNCH 7 0
  :end
/:
TAG
cat > "$work/hello.jvm" <<TAG
JVM_HOME: $java_home
JVM_EXE: bin/java
JVM_PROPERTIES: java.home=$java_home...
CLASSPATH: "-cp "
CLASSPATH_SEPARATOR: :
TAG
cat > "$work/launch.tag" <<TAG
COMMAND: """@JVM_HOME@/@JVM_EXE@"" %CP%(""$build/examples/hello.jar"") Hello"
TAG
# "%" opens a launch script function, so the date format comes from the
# environment through a "#" macro.
cat > "$work/end.tag" <<TAG
COMMAND: date +#BENCH_DATE_FORMAT#
TAG
export BENCH_DATE_FORMAT=%s%N
# pack SCRIPT OUTPUT PROGRAM [CVPACK OPTIONS...]
pack() {
    local script=$1 output=$2 program=$3
    shift 3
    "$build/cvpack" "$@" --instructions "$work/$program" \
        --launch-script "$work/$script" --jvm "$work/hello.jvm" --id 7 -o "$work/$output"
}
pack launch.tag hello-launcher program.tag --no-verify-archive
pack end.tag end-launcher program.tag --no-verify-archive
pack launch.tag verified-launcher verify-program.tag --verify-archive "$build/verify.jar"

now() { date +%s%N; }
time_runs() {
    local start end
    start=$(now)
    for _ in $(seq "$runs"); do "$@" >/dev/null; done
    end=$(now)
    echo $(((end - start) / runs / 1000))
}

"$work/hello-launcher" -cv:tempdir "$work" >/dev/null  # warm the caches
direct=$(time_runs "$java_home/bin/java" -cp "$build/examples/hello.jar" Hello)
launched=$(time_runs "$work/hello-launcher" -cv:tempdir "$work")
echo "direct java:     ${direct} us per run ($runs runs)"
echo "through launcher: ${launched} us per run"
awk -v a="$launched" -v b="$direct" 'BEGIN { printf "wall-time ratio: %.3f (goal: at most 1.05)\n", a / b }'

# A verification that failed would skip the launch and look fast.
"$work/verified-launcher" -cv:tempdir "$work" -cv:log "$work/verify.log" >/dev/null
grep -q "After VERIFY, the jvm home is $java_home" "$work/verify.log" || {
    echo "the verification of $java_home failed:" >&2
    tail -n 5 "$work/verify.log" >&2
    exit 1
}
verified=$(time_runs "$work/verified-launcher" -cv:tempdir "$work")
echo "verified launch:  ${verified} us per run (verification and program: two JVM starts)"
awk -v a="$verified" -v b="$direct" 'BEGIN { printf "verified-launch ratio: %.3f\n", a / b }'

# The captured child prints the time of its end; the launcher's return is
# taken right after. The difference is what the launcher adds after the child.
total=0
for _ in $(seq "$runs"); do
    "$work/end-launcher" -cv:tempdir "$work" -cv:log "$work/end.log" >/dev/null
    returned=$(now)
    ended=$(grep -E '^[0-9]{19}$' "$work/end.log" | tail -n 1)
    total=$((total + returned - ended))
done
echo "child end to launcher return: $((total / runs / 1000)) us on average"
