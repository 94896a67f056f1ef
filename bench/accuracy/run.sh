#!/usr/bin/env bash
# Accuracy and speed of tarvo-analyse against aubio on a corpus of synthetic tones and
# fluidsynth-rendered instrument notes made afresh in build/accuracy (never committed).
#
#   bench/accuracy/run.sh             full corpus, ours against aubio yin and yinfft
#   bench/accuracy/run.sh --reduced   a few files per category (what CI runs, with --check)
#   bench/accuracy/run.sh --help      every option
#
# Needs build/default/tarvo-analyse (cmake --preset default && cmake --build --preset default)
# and the Debian packages fluidsynth, fluid-soundfont-gm, aubio-tools, python3-aubio,
# python3-numpy (setup.sh installs them).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# Debian's interpreter: numpy and aubio come from Debian packages, not from another Python.
exec /usr/bin/python3 -B "$here/accuracy.py" "$@"
