#!/usr/bin/env bash
# CI step: the reduced accuracy run (a few synthetic tones per noise level and a few rendered
# notes per instrument). Fails when tarvo-analyse names fewer than 99 % of its settled frames
# with the right note and octave, or when its median error exceeds 1 cent. aubio yin runs
# beside it for reference only.
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
