#!/usr/bin/env bash
# Starts a tuner launcher on a fresh Xvfb display with its output in OUT, and ends it with the
# E key once its window is up. A message box that comes first (a machine without a sound card)
# is closed with Return. Fails when the window never comes up, E does not end the tuner within
# 10 s, or it exits with an error.
#
#   start_and_exit.sh LAUNCHER OUT
set -euo pipefail
# The tuner must open on Xvfb, not on the Wayland desktop a developer may run this from.
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
# -noreset: the window search below connects and leaves many times; without it each leaving
# of the last client resets the server, and a tuner connecting just then fails to start.
if [ "$1" != --inside ]; then
    exec xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 640x480x24 -noreset" \
        bash "$(readlink -f "$0")" --inside "$@"
fi
launcher=$2 out=$3

"$launcher" >"$out" 2>&1 &
pid=$!
window=""
for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name '^Tarvo Instrument Tuner' 2>/dev/null |
        head -1) || true
    [ -z "$window" ] || break
    box=$(xdotool search --onlyvisible --name '^Error: ' 2>/dev/null | head -1) || true
    if [ -n "$box" ]; then
        echo "message box '$(xdotool getwindowname "$box")'"
        xdotool windowfocus --sync "$box" key --clearmodifiers Return
    fi
    sleep 0.1
done
[ -n "$window" ] || {
    kill "$pid" 2>/dev/null
    echo "the tuner's window did not come up"
    exit 1
}
sleep 1
xdotool windowfocus --sync "$window" key --clearmodifiers e
timeout 10 tail --pid="$pid" -s 0.1 -f /dev/null || {
    kill "$pid"
    echo "the E key did not end the tuner"
    exit 1
}
wait "$pid" || {
    echo "the tuner exited with status $?"
    exit 1
}
