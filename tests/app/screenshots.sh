#!/usr/bin/env bash
# Regenerates the README's screenshots docs/window-tuning.png, docs/window-rest.png and
# docs/window-fps.png: the real tarvo-tuner under Xvfb with the twm window manager (for the
# title bar), recording a simulated A3 played 15 cents sharp, then silence.
#
#   tests/app/screenshots.sh [BUILD_DIR]      (default build/default; needs xvfb, twm, sox,
#                                              xdotool and imagemagick)
set -euo pipefail
# The tuner must open on Xvfb, not on the Wayland desktop a developer may run this from.
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

if [ "${1:-}" = "--inside" ]; then
    work=$2 tuner=$3 docs=$4
    cd "$work"
    printf 'RandomPlacement\nUsePPosition "on"\nNoGrabServer\nBorderWidth 1\nTitleFont "fixed"\n' >twmrc
    twm -f twmrc >/dev/null 2>&1 &
    sleep 0.5

    shoot() { # input, pointer x y, keys, settle seconds, output
        TARVO_SIMULATED_INPUT="$1" "$tuner" >/dev/null 2>&1 &
        local pid=$!
        local id
        id=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tarvo Instrument Tuner' |
            head -1)
        xdotool mousemove --window "$id" "$2" "$3"
        xdotool windowfocus --sync "$id"
        [ -z "$4" ] || xdotool key --clearmodifiers "$4"
        sleep "$5"
        import -frame -window "$id" "$docs/$6"
        xdotool key --clearmodifiers e
        wait "$pid"
        rm -f state.txt
        echo "screenshots: wrote $docs/$6"
    }
    shoot "$work/tone.wav" 170 200 "" 3 window-tuning.png
    shoot "$work/tone.wav" 25 150 f 3 window-fps.png
    shoot "$work/silence.wav" 200 20 "" 2 window-rest.png
    exit 0
fi

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(readlink -f "${1:-$root/build/default}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build"/data/*.bmp "$build"/data/tarvohelp.htm "$work"/
sox -n -r 11025 -b 16 -c 1 "$work/tone.wav" synth 30 sawtooth 221.92 vol 0.5
sox -n -r 11025 -b 16 -c 1 "$work/silence.wav" trim 0 30
mkdir -p "$root/docs"
xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 640x480x24" bash "$(readlink -f "$0")" --inside "$work" \
    "$build/tarvo-tuner" "$root/docs"
