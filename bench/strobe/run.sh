#!/usr/bin/env bash
# The strobe of the real tuner under Xvfb on simulated input: each band's drift in periods a
# second (its error in cents), read off successive screenshots of the window.
#
#   bench/strobe/run.sh [--seconds S] [--b B] [--docs]     (--help: every option)
#
# Needs build/default/tarvo-tuner (the default preset) and the Debian packages xvfb, twm,
# xdotool, imagemagick and python3-numpy.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
unset WAYLAND_DISPLAY
# Debian's interpreter: numpy comes from a Debian package, not from another Python.
exec /usr/bin/python3 -B "$here/drift.py" "$@"
