#!/usr/bin/env bash
# The Debian package as a user gets it: cpack builds it from the build
# directory, dpkg-deb unpacks it into a temporary directory, and the cvpack
# and cvlaunch in it pack and run the demo application on the installed
# JDK 17; its manual pages show the options.
#   DebPackageTest.sh BUILD_DIR SOURCE_DIR VERSION DEMO_JAR
set -uo pipefail
build=$1 source=$2 version=$3 demo_jar=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
checks=0

# check WHAT COMMAND...: counts a check, and a failure when COMMAND fails.
check() {
    local what=$1
    shift
    checks=$((checks + 1))
    if ! "$@"; then
        echo "FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}

# contains TEXT PART: TEXT holds PART (a fixed string).
contains() {
    grep -qF -- "$2" <<<"$1" || { printf 'expected %q in:\n%s\n' "$2" "$1" >&2 && false; }
}

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "FAILED: cpack" >&2
    exit 1
fi
deb=$work/out/cvlaunch_${version}_amd64.deb
if [ ! -f "$deb" ]; then
    echo "FAILED: no $(basename "$deb") among: $(ls "$work/out")" >&2
    exit 1
fi

info=$(dpkg-deb -I "$deb")
depends=$(grep '^ Depends:' <<<"$info" || true)
check "Depends names the C library" contains "$depends" " libc6 ("
check "the package has the project's version" contains "$info" " Version: $version"

root=$work/root
dpkg-deb -x "$deb" "$root"
files=(usr/bin/cvlaunch usr/bin/cvpack usr/share/cvlaunch/verify.jar usr/lib/cvlaunch/cvinstall
    usr/share/man/man1/cvlaunch.1.gz usr/share/man/man1/cvpack.1.gz)
for file in "${files[@]}"; do
    check "the package holds $file" test -f "$root/$file"
done

# Packed without --stub or a verification archive: cvpack takes cvlaunch from
# beside itself and verify.jar from ../share/cvlaunch.
demo=$source/examples/hello
launcher=$work/hello-launcher
check "cvpack packs the demo" "$root/usr/bin/cvpack" --instructions "$demo/instructions.tag" \
    --launch-script "$demo/launch.tag" --jvm "$demo/java.jvm" \
    --classpath-archive "$demo_jar" -o "$launcher"
mkdir "$work/tmp"
output=$(TMPDIR=$work/tmp "$launcher" "first argument" --exit 3)
status=$?
check "the demo ends with the exit code it was given" test "$status" = 3
for line in "Hello from the cvlaunch demo application." "Running on Java 17" \
    "argument 1: [first argument]"; do
    check "the demo prints '$line'" contains "$output" "$line"
done

# Each manual page with texts it must show: its name line, options and their
# descriptions, and the version at its foot.
pages=(
    "cvlaunch|cvlaunch - find a Java virtual machine and run Java programs"
    "cvlaunch|cvlaunch --help | --version"
    "cvlaunch|-cv:in FILE"
    "cvlaunch|print the version on standard error"
    "cvlaunch|cvlaunch $version"
    "cvpack|cvpack - make launcher files for Java applications"
    "cvpack|cvpack --list LAUNCHER"
    "cvpack|--main-jar JAR"
    "cvpack|the launcher file to write"
    "cvpack|cvpack $version"
)
for row in "${pages[@]}"; do
    page=${row%%|*}
    text=$(LC_ALL=C MANWIDTH=200 man -l "$root/usr/share/man/man1/$page.1.gz" 2>&1)
    check "man $page shows '${row#*|}'" contains "$text" "${row#*|}"
done

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
