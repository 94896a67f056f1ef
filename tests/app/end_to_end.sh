#!/usr/bin/env bash
# End to end: starts the real tarvo-tuner under Xvfb on a simulated recording of A3 played
# 15 cents sharp (a sawtooth at 221.92 Hz), reads note, octave and percent off a screenshot of
# its window by comparing the glyph bands with the artwork, checks the frame-rate title after
# the "f" key and that the "e" key, and then SIGTERM, SIGINT and SIGHUP, end the program after
# writing state.txt, and that SIGKILL leaves it as it was.
#
#   end_to_end.sh TUNER READER DATA_DIR [SCREENSHOT_COPY]
set -euo pipefail
# The tuner must open on Xvfb, not on the Wayland desktop a developer may run this from.
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

fail() {
    echo "e2e: $*"
    exit 1
}

# Succeeds once process $1 has ended; kills it and fails if it is still running after 10 s.
ends_within_10s() {
    timeout 10 tail --pid="$1" -s 0.1 -f /dev/null || {
        kill -KILL "$1"
        return 1
    }
}

if [ "${1:-}" = "--inside" ]; then
    # Runs inside the Xvfb display.
    work=$2 tuner=$3 reader=$4
    cd "$work"
    TARVO_SIMULATED_INPUT="$work/tone.wav" "$tuner" >tuner.out 2>&1 &
    pid=$!
    id=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tarvo Instrument Tuner' | head -1)
    echo "e2e: window $id, $(xdotool getwindowgeometry "$id" | tr '\n' ' ')"
    # Screenshots until the reading is there: a sanitizer build may take seconds to settle.
    reading="" expected='^A3 \+1[456]$' # A3 +15, within a percent
    for _ in $(seq 40); do
        sleep 0.5
        import -window "$id" shot.png
        reading=$("$reader" shot.png "$work") || true
        [[ $reading =~ $expected ]] && break
    done
    echo "e2e: screenshot reads '$reading'"
    [[ $reading =~ $expected ]] || fail "expected A3 +15 (within a percent)"

    xdotool windowfocus --sync "$id"
    xdotool key --clearmodifiers f
    title=""
    for _ in $(seq 50); do
        title=$(xdotool getwindowname "$id")
        case "$title" in *" fps)") break ;; esac
        sleep 0.1
    done
    echo "e2e: title '$title'"
    [[ $title =~ ^Tarvo\ Instrument\ Tuner\ 1\.02\ \([0-9]+\ fps\)$ ]] ||
        fail "no frame rate in the title"

    xdotool key --clearmodifiers e
    ends_within_10s "$pid" || fail "the exit key did not end the program"
    wait "$pid" || fail "tarvo-tuner exited with status $?: $(cat tuner.out)"
    head -1 state.txt | grep -q '^USED DIRECTLY BY TARVO GUITAR TUNER, DO NOT EDIT!$' ||
        fail "state.txt not written"
    echo "e2e: exit key saved state.txt"

    # A termination signal (desktop session, terminal, hang-up) ends it like the close box and
    # saves; SIGKILL saves nothing and leaves the saved file as it was.
    for sig in TERM INT HUP KILL; do
        cp state.txt saved.txt
        [ "$sig" = KILL ] || rm -f state.txt
        TARVO_SIMULATED_INPUT="$work/tone.wav" "$tuner" >tuner.out 2>&1 &
        pid=$!
        timeout 20 xdotool search --sync --onlyvisible --name '^Tarvo Instrument Tuner' >/dev/null
        sleep 1
        kill -"$sig" "$pid"
        ends_within_10s "$pid" || fail "SIG$sig did not end the program"
        status=0
        wait "$pid" || status=$?
        if [ "$sig" = KILL ]; then
            cmp -s state.txt saved.txt || fail "SIGKILL changed state.txt"
        elif [ "$status" -ne 0 ] || [ ! -f state.txt ]; then
            fail "SIG$sig: status $status, state.txt $([ -f state.txt ] || echo not) saved"
        fi
        echo "e2e: SIG$sig ended it, state.txt $([ "$sig" = KILL ] && echo unchanged || echo saved)"
    done
    exit 0
fi

tuner=$(readlink -f "$1") reader=$(readlink -f "$2") data=$3 copy=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$data"/*.bmp "$data"/tarvohelp.htm "$work"/
sox -n -r 11025 -b 16 -c 1 "$work/tone.wav" synth 30 sawtooth 221.92 vol 0.5
status=0
xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 640x480x24" bash "$(readlink -f "$0")" --inside "$work" "$tuner" \
    "$reader" || status=$?
if [ -n "$copy" ] && [ -f "$work/shot.png" ]; then
    cp "$work/shot.png" "$copy"
fi
exit $status
