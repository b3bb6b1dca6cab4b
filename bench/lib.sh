# Shared by the benchmarks: timing, medians of alternated runs, ratios and
# the JDKs to measure. The sourcing script sets `work` (a scratch directory)
# and `runs` (how many runs a figure takes).

now() { date +%s%N; }

# One run of a command, in microseconds; its output and status are dropped.
time_one() {
    local start end
    start=$(now)
    "$@" >/dev/null 2>&1 || true
    end=$(now)
    echo $(((end - start) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

ratio() { awk -v a="$1" -v b="$2" -v what="$3" 'BEGIN { printf "%s: %.3f\n", what, a / b }'; }

# Waits until no archive maker runs, so that none runs during a timed launch.
makers_done() { while pgrep -f -- '-cv:make-class-data' >/dev/null; do sleep 0.05; done; }

# compare NAME BASELINE_FUNCTION LAUNCH_FUNCTION [BEFORE_EACH]: medians of
# alternated runs (BEFORE_EACH runs before each of both), and their ratio.
compare() {
    local name=$1 baseline=$2 launch=$3 before=${4:-true} i
    : >"$work/base.times"
    : >"$work/launch.times"
    for i in $(seq "$runs"); do
        "$before"
        time_one "$baseline" >>"$work/base.times"
        "$before"
        time_one "$launch" >>"$work/launch.times"
        makers_done
    done
    local b l
    b=$(median <"$work/base.times")
    l=$(median <"$work/launch.times")
    echo "$name: baseline ${b} us, launcher ${l} us (medians of $runs alternated runs)"
    ratio "$l" "$b" "$name ratio"
}

# The JDK 17 and the newest JDK present, as "MAJOR HOME" lines.
benchmark_jdks() {
    local newest="" newest_major=0 release major jdk17=""
    for release in /usr/lib/jvm/*/release; do
        major=$(sed -n 's/^JAVA_VERSION="\([0-9]*\).*/\1/p' "$release")
        [ -n "$major" ] || continue
        if [ "$major" = 17 ] && [ -z "$jdk17" ]; then
            jdk17=$(dirname "$release")
            echo "17 $jdk17"
        fi
        if [ "$major" -gt "$newest_major" ]; then
            newest=$(dirname "$release") newest_major=$major
        fi
    done
    [ "$newest_major" = 17 ] || echo "$newest_major $newest"
}

# install_packages PACKAGE:FILE...: installs each Debian package whose file
# is missing; a package that cannot be installed is left out.
install_packages() {
    local entry
    for entry in "$@"; do
        [ -f "${entry#*:}" ] || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends "${entry%%:*}" >/dev/null 2>&1 || true
    done
}
