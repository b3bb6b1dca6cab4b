#!/usr/bin/env bash
# Runtime benchmark: a launcher file that carries its own Java runtime
# (cvpack --runtime) against the application image that the JDK's jpackage
# makes of the same jar with the same modules (`jpackage --type app-image`),
# for Rhino's shell (Debian's package rhino) and Clojure (package clojure),
# with JDK 17 and the newest JDK present, side by side in one run:
# - the size of the launcher file against the image's (goal: at most 20 %;
#   Rhino at most 30 MB), and the packing times;
# - the first launch on a machine without Java (an empty runtime store: the
#   runtime is installed, then run) against the image's launch (goal: at most
#   the image's + 0.8 s);
# - later launches against running the installed runtime's `java -cp ...`
#   directly with the same options (goal: at most 1.05), and once the
#   launcher's class-data archive is made (goal: at most 0.7).
# Usage: bench/runtime_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/lib.sh"

install_packages rhino:/usr/share/java/js.jar clojure:/usr/share/java/clojure.jar

# measure_app NAME JAR MAIN_CLASS ARGUMENT...: one application, with each JDK.
measure_app() {
    local name=$1 jar=$2 main=$3
    shift 3
    local arguments=("$@")
    [ -f "$jar" ] || { echo "$name: $jar is missing, skipped"; return; }
    while read -r major jdk; do
        [ -x "$jdk/bin/jpackage" ] || { echo "$name JDK $major: no jpackage, skipped"; continue; }
        measure "$name" "$jar" "$main" "$major" "$jdk"
    done <<<"$(benchmark_jdks)"
}

# measure NAME JAR MAIN_CLASS MAJOR JDK: the figures of one application and
# JDK; the arguments of its runs are in `arguments`.
measure() {
    local name=$1 jar=$2 main=$3 major=$4 jdk=$5
    local dir="$work/$name$major"
    mkdir -p "$dir"
    export XDG_DATA_HOME="$dir/data" XDG_CACHE_HOME="$dir/cache"

    local start end
    start=$(now)
    "$build/cvpack" --main-jar "$jar" --main-class "$main" --runtime "$jdk" --prefer-runtime \
        -o "$dir/app" 2>"$dir/pack.err"
    end=$(now)
    local pack_ms=$(((end - start) / 1000000))
    local modules
    modules=$(sed -n 's/^cvpack: runtime modules: \([^ ]*\).*/\1/p' "$dir/pack.err")

    # jpackage takes the jars from one directory: the ones that the main
    # jar's manifest names come along.
    mkdir -p "$dir/input"
    cp "$jar" "$dir/input/"
    local classpath
    classpath=$(unzip -p "$jar" META-INF/MANIFEST.MF | tr -d '\r' |
        sed -n '/^Class-Path:/,/^[^ ]/p' | sed 's/^Class-Path: //; s/^ //' | tr -d '\n')
    for extra in $classpath; do
        cp "$(dirname "$(readlink -f "$jar")")/$extra" "$dir/input/" 2>/dev/null || true
    done
    start=$(now)
    "$jdk/bin/jpackage" --type app-image --input "$dir/input" --main-jar "$(basename "$jar")" \
        --main-class "$main" --add-modules "$modules" --name image --dest "$dir/jpackage" \
        >/dev/null
    end=$(now)
    local image_ms=$(((end - start) / 1000000))

    local size image_size image_files
    size=$(stat -c %s "$dir/app")
    image_size=$(du -sb "$dir/jpackage/image" | cut -f1)
    image_files=$(find "$dir/jpackage/image" -type f | wc -l)
    echo "$name JDK $major: modules $modules"
    echo "$name JDK $major: launcher file $((size / 1048576)) MB packed in $pack_ms ms;" \
        "app image $((image_size / 1048576)) MB in $image_files files, made in $image_ms ms"
    ratio "$size" "$image_size" "$name JDK $major size ratio (goal: at most 0.20)"

    launcher() { "$dir/app" "${arguments[@]}"; }
    image() { "$dir/jpackage/image/bin/image" "${arguments[@]}"; }
    no_runtime() { rm -rf "$XDG_DATA_HOME" "$XDG_CACHE_HOME"; }
    CVLAUNCH_CLASS_DATA=0 compare "$name JDK $major first launch without Java" image launcher \
        no_runtime
    awk -v a="$(median <"$work/launch.times")" -v b="$(median <"$work/base.times")" \
        -v what="$name JDK $major first launch" \
        'BEGIN { printf "%s: %+.3f s against the image (goal: at most +0.8 s)\n", what, (a - b) / 1e6 }'

    launcher >/dev/null 2>&1
    local home
    home=$(find "$XDG_DATA_HOME/cvlaunch/runtimes" -mindepth 1 -maxdepth 1 -type d ! -name '*.*')
    direct() { "$home/bin/java" -cp "$jar" "$main" "${arguments[@]}"; }
    CVLAUNCH_CLASS_DATA=0 compare "$name JDK $major later launch (goal: at most 1.05)" direct \
        launcher
    CVLAUNCH_CLASS_DATA=wait "$dir/app" -cv:log "$dir/archive.log" "${arguments[@]}" >/dev/null 2>&1
    if grep -q "Made the class-data archive\|Using the class-data archive" "$dir/archive.log"; then
        compare "$name JDK $major with its archive (goal: at most 0.70)" direct launcher
    else
        echo "$name JDK $major: no class-data archive was made"
        grep -i "class-data" "$dir/archive.log" | tail -n 3
    fi
}

measure_app Rhino /usr/share/java/js.jar org.mozilla.javascript.tools.shell.Main -e 'print(1)'
measure_app Clojure /usr/share/java/clojure.jar clojure.main -e '(println 1)'
