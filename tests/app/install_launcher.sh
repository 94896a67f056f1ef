#!/usr/bin/env bash
# Installs the build into a scratch prefix and starts the installed launcher under Xvfb (on a
# simulated recording): the program, data, icon and desktop entry must be in place, the tuner
# must run from the user's own data directory, and its state.txt and errorlog.txt must land
# there and nowhere beside the installed files.
#
#   install_launcher.sh BUILD_DIR
set -euo pipefail

helper=$(dirname "$(readlink -f "$0")")/../common/start_and_exit.sh
build=$(readlink -f "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "install: $*"
    exit 1
}
sox -n -r 11025 -b 16 -c 1 "$scratch/tone.wav" synth 10 sawtooth 221.92 vol 0.5

# Installs into `prefix` and starts the launcher with HOME=`home`, from /, under Xvfb.
install_and_run() {
    local prefix=$1 home=$2
    cmake --install "$build" --prefix "$prefix" >/dev/null
    for file in bin/tarvo-tuner libexec/tarvo/tarvo-tuner share/tarvo/tarvohelp.htm \
        share/tarvo/TarvoLogo.bmp share/tarvo/TarvoLogoOp.bmp share/tarvo/NotesClr.bmp \
        share/tarvo/NotesBev.bmp share/tarvo/NumClr.bmp share/tarvo/NumBev.bmp \
        share/tarvo/Label.bmp share/tarvo/Circle.bmp share/applications/tarvo-tuner.desktop \
        share/icons/hicolor/scalable/apps/tarvo-tuner.svg; do
        [ -e "$prefix/$file" ] || fail "missing $file"
    done
    [ -x "$prefix/bin/tarvo-tuner" ] || fail "launcher not executable"
    # The desktop starts the launcher by its installed path, quoted.
    grep -qxF "Exec=\"$prefix/bin/tarvo-tuner\"" "$prefix/share/applications/tarvo-tuner.desktop" ||
        fail "desktop entry does not start $prefix/bin/tarvo-tuner"
    echo "install: program, data, icon, desktop entry and launcher in place in $prefix"
    mkdir -p "$home"
    (
        export HOME="$home"
        unset XDG_DATA_HOME
        export TARVO_SIMULATED_INPUT="$scratch/tone.wav"
        cd /
        bash "$helper" "$prefix/bin/tarvo-tuner" "$home/launcher.out"
    ) || fail "the installed tuner did not run: $(cat "$home/launcher.out" 2>/dev/null)"
    data="$home/.local/share/tarvo"
    [ -f "$data/state.txt" ] || fail "no state.txt in $data"
    grep -q 'Unable to open state.txt, using defaults.' "$data/errorlog.txt" ||
        fail "no errorlog.txt in $data"
}

# A system-wide prefix: the user's data directory holds links to the shared files, and
# nothing is written beside the installed files.
install_and_run "$scratch/usr" "$scratch/home"
[ -L "$data/TarvoLogo.bmp" ] && [ -L "$data/tarvohelp.htm" ] ||
    fail "artwork and help page not linked into $data"
written=$(find "$scratch/usr" -name state.txt -o -name errorlog.txt)
[ -z "$written" ] || fail "wrote beside the installed files: $written"
echo "install: launcher ran the tuner in $data; state.txt and errorlog.txt are the user's own"

# Installed into the user's own ~/.local (a path with a space in it): the shared folder is the
# data directory itself, and the launcher must still start the tuner there.
install_and_run "$scratch/home two/.local" "$scratch/home two"
[ -f "$data/TarvoLogo.bmp" ] && [ ! -L "$data/TarvoLogo.bmp" ] ||
    fail "the artwork in $data was replaced"
echo "install: installed into ~/.local, the launcher ran the tuner in $data"
