#!/usr/bin/env bash
# The live tuner on a recording of note changes played in real time, through the simulated
# device and through PortAudio on a file-fed ALSA device: CPU, window updates and the time from
# each note change to the window, beside tarvo-analyse's settling time on the same recording.
#
#   bench/live/run.sh               warm-up 15 s, 60 s measured, both devices
#   bench/live/run.sh --help        every option
#
# Needs build/default/bench/bench_live and build/default/tarvo-analyse (the default preset) and
# the Debian packages fluidsynth, fluid-soundfont-gm, sox, python3-numpy (setup.sh installs them).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# Debian's interpreter: numpy comes from a Debian package, not from another Python.
exec /usr/bin/python3 -B "$here/live.py" "$@"
