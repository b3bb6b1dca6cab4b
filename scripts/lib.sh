# Shared by the scripts: installing the build's dependencies and building.

# Packages the build and the tests need, with a file that shows each is there.
DEPENDENCIES=(
    "cmake:/usr/bin/cmake"
    "g++:/usr/bin/g++"
    "make:/usr/bin/make"
    "libgtest-dev:/usr/include/gtest/gtest.h"
    "default-jdk-headless:/usr/bin/javac"
)

install_build_dependencies() {
    local missing=()
    local entry
    for entry in "${DEPENDENCIES[@]}"; do
        [ -e "${entry#*:}" ] || missing+=("${entry%%:*}")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

# configure_and_build DIR [cmake options...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j2
}
