#!/usr/bin/env bash
# Size benchmark: the launcher on three large inputs and on the same inputs at
# a tenth of the size: a launcher file with 100,000 index entries (10,000), an
# input file of 50 MB (5 MB) and an instruction program of 100,000 lines
# (10,000) run through "-cv:in". Prints the best of three wall times of each
# and the ratio big/small per input: about 10 means linear time, about 100
# quadratic (the fixed start-up time pulls the ratio below 10 where the small
# run is short).
# Usage: bench/size_bench.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Every run ends by launching a.jvm; the launch script prints its
# description, so a run that did not get there shows.
printf 'DISPLAY_CONSOLE: 1\nCOMMAND: echo @DESC@; exit 7\n' > launch.tag
printf 'DESC: launched\nJVM_EXE: bin/java\n' > a.jvm
expected="launched (status 7)"

# make_launcher COUNT FILE: the launcher with COUNT index entries, the last
# three the instruction program, a.jvm and the launch script; the others name
# one shared byte as a class path archive.
make_launcher() {
    printf 'INSTRUCTIONS:\n  ILAUNCH %d 0\n/:\n' $(($1 - 2)) > program.tag
    perl -e '
        my ($count, $stub, @tagFiles) = @ARGV;
        sub slurp { local $/; open(my $f, "<", $_[0]) or die "$_[0]: $!"; binmode $f; <$f> }
        sub entry { my ($type, $id, $length, $offset, $name) = @_;
                    pack("C N N N n", $type, $id, $length, $offset, length $name) . $name . "\0" }
        my $out = slurp($stub);
        my $shared = length $out;
        $out .= "x";
        my $index = pack("N", $count);
        $index .= entry(3, $_, 1, $shared, "a$_") for 0 .. $count - 4;
        my $id = $count - 3;
        for (@tagFiles) {
            my ($type, $file) = split /:/;
            my $content = slurp($file);
            $index .= entry($type, $id++, length $content, length $out, $file);
            $out .= $content;
        }
        print $out, $index, pack("C N N", 1, length $out, 0xCA82CA82);
    ' "$1" "$build/cvlaunch" 0:program.tag 1:a.jvm 2:launch.tag > "$2"
    chmod 755 "$2"
}

# run_input FILE: the input file that runs the program FILE.
run_input() {
    printf 'ACTION: RUN_INSTRUCTIONS\nINSTRUCTIONS: %s\nLAUNCHSCRIPT: launch.tag\n' "$1"
}

# make_input BYTES FILE: an input file of about BYTES bytes, half of them in
# short values of one block, half in one long value, the action last.
make_input() {
    printf 'INSTRUCTIONS:\n  LAUNCH a.jvm 0\n/:\n' > launch-program.tag
    perl -e '
        my $half = $ARGV[0] / 2;
        print "PADDING:\n";
        my ($written, $i) = (0, 0);
        while ($written < $half) {
            my $line = "  value number " . $i++ . " of a long block of tags\n";
            print $line;
            $written += length $line;
        }
        print "/:\nLONG: ", "v" x $half, "\n";
    ' "$1" > "$2"
    run_input launch-program.tag >> "$2"
}

# make_program LINES FILE: an input file whose program hands the path of
# a.jvm from S1 to S2 and back LINES times before it launches it.
make_program() {
    {
        printf 'INSTRUCTIONS:\n  GOTO far\n  :back\n'
        for ((i = 0; i < $1 / 2; i++)); do
            printf '  SET S2 = @S1@\n  SET S1 = @S2@\n'
        done
        printf '  LAUNCH "@S1@" 0\n  GOTO end\n  :far\n  SET S1 = a.jvm\n  GOTO back\n  :end\n/:\n'
    } > "$2.program"
    run_input "$2.program" > "$2"
}

now() { date +%s%N; }
# best_of_three COMMAND...: the shortest of three runs in nanoseconds; fails
# unless the command launched a.jvm.
best_of_three() {
    local best=0 start end output status
    for _ in 1 2 3; do
        start=$(now)
        output=$("$@" 2>&1) && status=0 || status=$?
        end=$(now)
        if [ "$output (status $status)" != "$expected" ]; then
            echo "$* did not launch: $output (status $status)" >&2
            exit 1
        fi
        if [ "$best" -eq 0 ] || [ $((end - start)) -lt "$best" ]; then best=$((end - start)); fi
    done
    echo "$best"
}

run_launcher() { "./$1" -cv:silent -cv:tempdir "$work"; }
run_input_file() { "$build/cvlaunch" -cv:silent -cv:tempdir "$work" -cv:in "$1"; }

# measure NAME RUNNER SMALL BIG: times "RUNNER SMALL" against "RUNNER BIG".
measure() {
    local small big
    small=$(best_of_three "$2" "$3")
    big=$(best_of_three "$2" "$4")
    awk -v name="$1" -v s="$small" -v b="$big" 'BEGIN {
        printf "%-40s %8.1f ms %8.1f ms %6.1f\n", name, s / 1e6, b / 1e6, b / s
    }'
}

make_launcher 10000 launcher-small
make_launcher 100000 launcher-big
make_input $((5 * 1024 * 1024)) input-small.tag
make_input $((50 * 1024 * 1024)) input-big.tag
make_program 10000 program-small.tag
make_program 100000 program-big.tag

printf '%-40s %11s %11s %6s\n' "input" "tenth" "full size" "ratio"
measure "launcher file, 10,000/100,000 entries" run_launcher launcher-small launcher-big
measure "input file, 5/50 MB" run_input_file input-small.tag input-big.tag
measure "program, 10,000/100,000 lines" run_input_file program-small.tag program-big.tag
