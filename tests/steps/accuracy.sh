#!/usr/bin/env bash
# CI step: the reduced accuracy run (a few synthetic tones per noise level, a few rendered notes
# per instrument, every pure sine and every noise-only file). Fails when tarvo-analyse names
# fewer than 99 % of its settled frames with the right note and octave, when its median error
# exceeds 1 cent, when its reading does not last through the notes, misreads a pure sine, or
# reads noise or silence (bench/accuracy/README.md lists the limits). aubio yin runs beside it
# for reference only.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin="$root/build/default/tarvo-analyse"
if [ ! -x "$bin" ]; then
    echo "accuracy: $bin missing (build the default preset first)" >&2
    exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
timeout 600 "$root/bench/accuracy/run.sh" --reduced --check --peer yin --no-timing \
    --out "$out" --tarvo "$bin"
