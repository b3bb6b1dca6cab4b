# Shared by the scripts: installing the build's dependencies and building.

# Packages the build and the tests need, with a file that shows each is there.
DEPENDENCIES=(
    "cmake:/usr/bin/cmake"
    "g++:/usr/bin/g++"
    "make:/usr/bin/make"
    "libgtest-dev:/usr/include/gtest/gtest.h"
    "libzip-dev:/usr/include/zip.h"
    "libarchive-dev:/usr/lib/*/libarchive.a"
    "libzstd-dev:/usr/lib/*/libzstd.a"
    "libacl1-dev:/usr/lib/*/libacl.a"
    "default-jdk-headless:/usr/bin/javac"
    "help2man:/usr/bin/help2man"
    "dpkg-dev:/usr/bin/dpkg-shlibdeps"
    "file:/usr/bin/file"
    "man-db:/usr/bin/man"
)

# Packages the fuzz targets need besides those of the build: clang and its
# libFuzzer runtime.
FUZZ_DEPENDENCIES=(
    "clang:/usr/bin/clang++"
    "libclang-rt-14-dev:/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a"
)

install_build_dependencies() {
    install_missing "${DEPENDENCIES[@]}"
}

install_fuzz_dependencies() {
    install_missing "${DEPENDENCIES[@]}" "${FUZZ_DEPENDENCIES[@]}"
}

# install_missing PACKAGE:FILE... installs each package whose file (a glob
# pattern) matches nothing.
install_missing() {
    local missing=()
    local entry
    for entry in "$@"; do
        compgen -G "${entry#*:}" >/dev/null || missing+=("${entry%%:*}")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

# configure_and_build DIR [CMAKE_OPTION...] [--target TARGET...] configures
# DIR with the options and builds the targets named after --target, or
# everything.
configure_and_build() {
    local dir=$1
    shift
    local options=()
    while [ $# -gt 0 ] && [ "$1" != --target ]; do
        options+=("$1")
        shift
    done
    cmake -S . -B "$dir" "${options[@]}" >/dev/null
    cmake --build "$dir" -j2 "$@"
}
