#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine: installs what the project needs, builds,
# then runs the tuner or the whole test suite.
#
#   ./setup.sh run     build, then start the tuner
#   ./setup.sh test    build and run every test (what CI runs)
#   ./setup.sh build   install and build only
#   ./setup.sh package build, then make the Debian package; its path is the last line
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

# Debian packages the build, the tests and the tools need, one a line.
packages=(
    build-essential
    cmake
    git
    ninja-build
    pkg-config
    clang
    clang-format
    libclang-rt-14-dev
    qt6-base-dev
    qt6-base-dev-tools
    libgl-dev
    portaudio19-dev
    libpulse-dev
    pulseaudio-utils
    libasound2-dev
    libasound2-plugins
    alsa-utils
    libfftw3-dev
    libsndfile1-dev
    libsoxr-dev
    dpkg-dev
    lintian
    desktop-file-utils
    appstream
    help2man
    libgtest-dev
    libgmock-dev
    libbenchmark-dev
    fonts-dejavu-core
    xvfb
    xauth
    sox
    locales-all
    python3
    python3-numpy
    python3-aubio
    aubio-tools
    fluidsynth
    fluid-soundfont-gm
    xdotool
    imagemagick
    twm
    gcovr
)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

install_packages() {
    local missing=()
    for p in "${packages[@]}"; do
        installed "$p" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "setup: installing ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "setup: these Debian packages are missing, and installing them needs root:" >&2
            echo "  apt-get install ${missing[*]}" >&2
            echo "setup: run that as root (or install sudo), then run $0 again" >&2
            exit 1
        fi
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -qq
    # --no-remove: never take anything away to make room (a desktop's sound server, say)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-remove -o Dpkg::Use-Pty=0 "${missing[@]}"
}

# The recording tests run their own private PulseAudio on a null sink. Its server is installed
# only on a machine without a sound server (CI, a bare ALSA or JACK machine), never beside one:
# on a PipeWire desktop apt would remove pipewire-audio and pipewire-alsa for it (they conflict
# with pulseaudio), and without them the two servers would fight over the desktop's sound. A
# server counts as present when its package is installed (PipeWire, with or without its
# PulseAudio layer, or PulseAudio itself, whose daemon the tests then use) or when one answers,
# whatever installed it. Where we install it, it is kept from starting with a desktop session:
# it is there for the tests only.
install_test_sound_server() {
    local p
    for p in pipewire pipewire-pulse pulseaudio; do
        installed "$p" && return 0
    done
    pactl info >/dev/null 2>&1 && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "setup: no sound server here, and installing pulseaudio for the recording" \
                "tests needs root; those tests will skip" >&2
            return 0
        fi
        sudo=(sudo)
    fi
    echo "setup: no sound server here; installing PulseAudio for the recording tests"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-remove \
        --no-install-recommends -o Dpkg::Use-Pty=0 pulseaudio ||
        echo "setup: PulseAudio not installed; the tests that need a sound server will skip" >&2
    if command -v systemctl >/dev/null; then
        "${sudo[@]}" systemctl --global disable --quiet pulseaudio.service pulseaudio.socket \
            2>/dev/null || true
    fi
}

build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
}

run_tests() {
    local status=0
    for preset in default asan tsan; do
        echo "== tests: $preset"
        build "$preset"
        ctest --preset "$preset" -j2 || status=1
    done
    for step in "$root"/tests/steps/*.sh; do
        [ -e "$step" ] || continue
        echo "== step: $(basename "$step")"
        bash "$step" || status=1
    done
    return $status
}

cmd=${1:-build}
install_packages
case "$cmd" in
build) build default ;;
run)
    build default
    # The tuner finds its artwork and help page, and keeps state.txt and errorlog.txt, in
    # its current directory: the build's data directory.
    bin="$root/build/default"
    cd "$bin/data" && exec "$bin/tarvo-tuner"
    ;;
test)
    install_test_sound_server
    run_tests
    ;;
package)
    build default
    # CPack packs what the default build installs; dpkg-shlibdeps finds the dependencies.
    out="$root/build/package"
    log=$(cpack --config "$root/build/default/CPackConfig.cmake" -B "$out") || {
        echo "$log" >&2
        exit 1
    }
    echo "$log"
    deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$log")
    [ -f "$deb" ] || {
        echo "setup: cpack named no package" >&2
        exit 1
    }
    echo "$deb"
    ;;
*)
    echo "usage: $0 [build|run|test|package]" >&2
    exit 2
    ;;
esac
