#!/usr/bin/env bash
# Launch benchmark, as wall-time ratios against running Java directly:
# - a packaged Hello launch (ILAUNCH, output captured, started without a shell)
#   against `java -cp hello.jar Hello` (goal: at most 1.05), and the same
#   launch with a template that needs the shell;
# - a launch that verifies the JVM first (VERIFY with the built verify.jar,
#   then ILAUNCH) with an empty verified-JVM cache, against `java Verify` and
#   `java Hello` run directly (goal: at most 1.05), and with a warm cache
#   against `java Hello` alone (goal: at most 1.05);
# - VERIFY_JVM and SEARCH on a warm cache against the same on a cold one;
# - the time from a captured child's end to the launcher's return;
# - a repeat launch of Rhino's shell (Debian's package rhino, installed when
#   missing), packed by cvpack's application mode with its class-data archive,
#   against `java -cp js.jar ...` run directly, on the newest JDK under
#   /usr/lib/jvm (goal: at most 0.6).
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
# The same command with a redirection: only a shell can run it.
cat > "$work/shell-launch.tag" <<TAG
COMMAND: """@JVM_HOME@/@JVM_EXE@"" %CP%(""$build/examples/hello.jar"") Hello 2>&1"
TAG
cat > "$work/verify.tag" <<TAG
ACTION: VERIFY_JVM
VERIFY_JVM_FILE: $work/hello.jvm
VERIFY_JVM_HOME: $java_home
TAG
cat > "$work/search.jvm" <<TAG
JVM_EXE: bin/java
JVM_PROPERTIES: java.home=$java_home...
PATH_HINT: ${java_home#/}
TAG
cat > "$work/search.tag" <<TAG
ACTION: SEARCH
JVM: $work/search.jvm
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
pack shell-launch.tag shell-launcher program.tag --no-verify-archive
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

ratio() { awk -v a="$1" -v b="$2" -v what="$3" 'BEGIN { printf "%s: %.3f\n", what, a / b }'; }
# Each cold run starts with an empty verified-JVM cache of its own.
export XDG_CACHE_HOME="$work/cache"
cold() { rm -rf "$XDG_CACHE_HOME"; "$@"; }

"$work/hello-launcher" -cv:tempdir "$work" >/dev/null  # warm the file caches
direct=$(time_runs "$java_home/bin/java" -cp "$build/examples/hello.jar" Hello)
launched=$(time_runs "$work/hello-launcher" -cv:tempdir "$work")
shelled=$(time_runs "$work/shell-launcher" -cv:tempdir "$work")
echo "direct java:      ${direct} us per run ($runs runs)"
echo "through launcher: ${launched} us per run (started directly)"
echo "through the shell: ${shelled} us per run (a template that needs /bin/sh)"
ratio "$launched" "$direct" "wall-time ratio (goal: at most 1.05)"
ratio "$shelled" "$direct" "wall-time ratio through the shell"

# A verification that failed would skip the launch and look fast.
cold "$work/verified-launcher" -cv:tempdir "$work" -cv:log "$work/verify.log" >/dev/null
grep -q "After VERIFY, the jvm home is $java_home" "$work/verify.log" || {
    echo "the verification of $java_home failed:" >&2
    tail -n 5 "$work/verify.log" >&2
    exit 1
}
verify_then_hello() {
    "$java_home/bin/java" -cp "$build/verify.jar" Verify java.home >/dev/null
    "$java_home/bin/java" -cp "$build/examples/hello.jar" Hello
}
both=$(time_runs verify_then_hello)
first=$(time_runs cold "$work/verified-launcher" -cv:tempdir "$work")
again=$(time_runs "$work/verified-launcher" -cv:tempdir "$work")
echo "java Verify + java Hello: ${both} us per run"
echo "verified launch, empty cache: ${first} us per run (two JVM starts)"
echo "verified launch, warm cache:  ${again} us per run (one JVM start)"
ratio "$first" "$both" "first-launch ratio (goal: at most 1.05)"
ratio "$again" "$direct" "repeat-launch ratio (goal: at most 1.05)"

for action in verify search; do
    cold_us=$(time_runs cold "$build/cvlaunch" -cv:in "$work/$action.tag")
    warm_us=$(time_runs "$build/cvlaunch" -cv:in "$work/$action.tag")
    echo "$action: cold cache ${cold_us} us, warm cache ${warm_us} us per run"
    ratio "$warm_us" "$cold_us" "$action warm/cold ratio"
done

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

# The newest JDK by the major version in its release file.
newest_jdk() {
    local best="" best_major=0 release major
    for release in /usr/lib/jvm/*/release; do
        major=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$release")
        if [ -n "$major" ] && [ "$major" -gt "$best_major" ]; then
            best=$(dirname "$release") best_major=$major
        fi
    done
    echo "$best_major $best"
}
rhino=/usr/share/java/js.jar
if [ ! -f "$rhino" ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends rhino >/dev/null
fi
read -r major jdk <<<"$(newest_jdk)"
shell_class=org.mozilla.javascript.tools.shell.Main
"$build/cvpack" --main-jar "$rhino" --main-class "$shell_class" --java "$major" \
    -o "$work/rhino" 2>/dev/null
export XDG_CACHE_HOME="$work/class-data-cache"
"$work/rhino" -cv:log "$work/rhino.log" -e 'print(1)' >/dev/null 2>&1  # makes the archive
grep -q "Kept the class-data archive" "$work/rhino.log" || {
    echo "the first Rhino launch kept no class-data archive:" >&2
    tail -n 5 "$work/rhino.log" >&2
    exit 1
}
direct=$(time_runs "$jdk/bin/java" -cp "$rhino" "$shell_class" -e 'print(1)')
archived=$(time_runs "$work/rhino" -e 'print(1)' 2>/dev/null)
echo "Rhino on JDK $major, java -cp js.jar: ${direct} us per run"
echo "Rhino packed, with its class-data archive: ${archived} us per run"
ratio "$archived" "$direct" "class-data archive ratio (goal: at most 0.6)"
