#!/usr/bin/env bash
# Regenerates the README's screenshots docs/window-tuning.png, docs/window-rest.png and
# docs/window-fps.png: the real tarvo-tuner under Xvfb with the twm window manager (for the
# title bar), recording a simulated A3 played 15 cents sharp, then silence. Then
# docs/devices-sources.png: its Devices page, recording list open, on a private PulseAudio
# whose sources carry a desktop's names (skipped without pulseaudio).
#
#   tools/screenshots.sh [BUILD_DIR]          (default build/default; needs xvfb, twm, sox,
#                                              xdotool, imagemagick, pulseaudio and pactl)
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

    command -v pulseaudio >/dev/null && command -v pactl >/dev/null || {
        echo "screenshots: no pulseaudio or pactl, devices-sources.png not made" >&2
        exit 0
    }
    export PULSE_SERVER=unix:$work/pulse/native
    mkdir -p "$work/pulse"
    HOME=$work/pulse XDG_RUNTIME_DIR=$work/pulse pulseaudio -n --daemonize=no \
        --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native" \
        >/dev/null 2>&1 &
    server=$!
    timeout 10 bash -c 'until pactl info; do sleep 0.05; done' >/dev/null 2>&1
    out=alsa_output.pci-0000_00_1f.3.analog-stereo
    pactl load-module module-null-sink sink_name=$out rate=48000 channels=2 \
        "sink_properties=\"device.description='Built-in Audio Analog Stereo'\"" >/dev/null
    source() { # name, description, channels: a microphone hearing what the output plays
        pactl load-module module-remap-source master=$out.monitor source_name="$1" \
            channels="$3" "source_properties=\"device.description='$2'\"" >/dev/null
    }
    source alsa_input.pci-0000_00_1f.3.analog-stereo "Built-in Audio Analog Stereo" 2
    source alsa_input.usb-Focusrite_Scarlett_2i2_USB-00.analog-stereo \
        "Scarlett 2i2 USB Analog Stereo" 2
    source alsa_input.usb-046d_HD_Webcam_C270-02.mono-fallback "HD Webcam C270 Mono" 1
    pactl set-default-source alsa_input.usb-Focusrite_Scarlett_2i2_USB-00.analog-stereo
    "$tuner" >/dev/null 2>&1 &
    pid=$!
    id=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tarvo Instrument Tuner' | head -1)
    xdotool windowfocus --sync "$id"
    xdotool key --clearmodifiers o
    sheet=$(timeout 20 xdotool search --sync --onlyvisible --name '^Options$' | head -1)
    sleep 0.5
    # The Devices page, its recording combo (the first control on it), the list opened.
    xdotool key --clearmodifiers ctrl+Tab
    sleep 0.3
    xdotool key --clearmodifiers Tab
    sleep 0.3
    xdotool key --clearmodifiers alt+Down
    sleep 0.8
    eval "$(xdotool getwindowgeometry --shell "$sheet")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$docs/devices-sources.png"
    echo "screenshots: wrote $docs/devices-sources.png"
    xdotool key --clearmodifiers Escape
    sleep 0.2
    xdotool key --clearmodifiers Escape
    sleep 0.2
    xdotool key --window "$id" --clearmodifiers e
    wait "$pid"
    kill "$server"
    exit 0
fi

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -f "${1:-$root/build/default}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build"/data/*.bmp "$build"/data/tarvohelp.htm "$work"/
sox -n -r 11025 -b 16 -c 1 "$work/tone.wav" synth 30 sawtooth 221.92 vol 0.5
sox -n -r 11025 -b 16 -c 1 "$work/silence.wav" trim 0 30
mkdir -p "$root/docs"
xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 640x480x24" bash "$(readlink -f "$0")" --inside "$work" \
    "$build/tarvo-tuner" "$root/docs"
