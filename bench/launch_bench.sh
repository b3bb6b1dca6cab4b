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
# - Rhino's shell (Debian's package rhino) packed by cvpack's application
#   mode, on JDK 17 and the newest JDK present, against `java -cp js.jar ...`
#   with the JDK's own default archive, as medians of alternated runs: the
#   first launch (the JVM verified and cached, no class-data archive yet, no
#   maker running; goal: at most 1.10), and launches once the archive is made
#   (goal: at most 0.65); the same for JRuby (package jruby) with its
#   --add-opens options; the archive sizes and the stub's size.
# Usage: bench/launch_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-20}
java_home=$(dirname "$(dirname "$(readlink -f "$(command -v java)")")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/lib.sh"

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

time_runs() {
    local start end
    start=$(now)
    for _ in $(seq "$runs"); do "$@" >/dev/null; done
    end=$(now)
    echo $(((end - start) / runs / 1000))
}

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

jruby=/usr/share/jruby/lib/jruby.jar
install_packages rhino:/usr/share/java/js.jar jruby:$jruby

archive_sizes() {
    find "$XDG_CACHE_HOME/cvlaunch/cds" -name '*.jsa' -printf '%s\n' 2>/dev/null |
        awk '{ printf "archive: %.1f MB\n", $1 / 1048576 }'
}

rhino=/usr/share/java/js.jar
# A JRuby launch takes seconds.
jruby_runs=$(((runs + 3) / 4))
shell_class=org.mozilla.javascript.tools.shell.Main
while read -r major jdk; do
    export XDG_CACHE_HOME="$work/class-data-$major"
    "$build/cvpack" --main-jar "$rhino" --main-class "$shell_class" --java "$major" \
        -o "$work/rhino$major" 2>/dev/null
    rhino_java() { "$jdk/bin/java" -cp "$rhino" "$shell_class" -e 'print(1)'; }
    rhino_launch() { "$work/rhino$major" -e 'print(1)'; }
    no_archive() { rm -rf "$XDG_CACHE_HOME/cvlaunch/cds"; }
    # The JVM verified and cached, no archive yet, no maker running.
    CVLAUNCH_CLASS_DATA=0 rhino_launch
    compare "Rhino JDK $major first launch (goal: at most 1.10)" rhino_java rhino_launch no_archive
    CVLAUNCH_CLASS_DATA=wait "$work/rhino$major" -cv:log "$work/rhino$major.log" -e 1 >/dev/null
    grep -q "Made the class-data archive\|Using the class-data archive" "$work/rhino$major.log" || {
        echo "no class-data archive was made for Rhino on JDK $major:" >&2
        tail -n 5 "$work/rhino$major.log" >&2
        exit 1
    }
    compare "Rhino JDK $major with its archive (goal: at most 0.65)" rhino_java rhino_launch
    archive_sizes

    [ -f "$jruby" ] || continue
    jruby_options=(--add-opens java.base/java.io=ALL-UNNAMED --add-opens java.base/sun.nio.ch=ALL-UNNAMED
        -Djruby.home=/usr/share/jruby)
    packed_options=()
    for option in "${jruby_options[@]}"; do packed_options+=(--java-option "$option"); done
    "$build/cvpack" --main-jar "$jruby" --main-class org.jruby.Main \
        --java "$major" "${packed_options[@]}" -o "$work/jruby$major" 2>/dev/null
    jruby_java() {
        "$jdk/bin/java" "${jruby_options[@]}" -cp "$jruby" org.jruby.Main -e 'p 1'
    }
    jruby_launch() { "$work/jruby$major" -e 'p 1'; }
    CVLAUNCH_CLASS_DATA=wait "$work/jruby$major" -cv:log "$work/jruby$major.log" -e 1 >/dev/null
    grep -q "Made the class-data archive\|Using the class-data archive" "$work/jruby$major.log" || {
        echo "no class-data archive was made for JRuby on JDK $major:" >&2
        grep -i "class-data\|status" "$work/jruby$major.log" | tail -n 5 >&2
        continue
    }
    runs=$jruby_runs compare "JRuby JDK $major with its archive (goal: at most 0.65)" jruby_java \
        jruby_launch
done <<<"$(benchmark_jdks)"
stub=$(stat -c %s "$build/cvlaunch")
echo "stripped cvlaunch: $stub bytes (must stay under 524288)"
