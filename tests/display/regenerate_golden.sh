#!/bin/sh
# Rewrites the golden images of the display tests (and the documentation picture) from the
# current artwork and drawing code. Usage: tests/display/regenerate_golden.sh [build-dir]
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$src/build/default}
cmake --build "$build" --target render_gauges tarvo_artwork
QT_QPA_PLATFORM=offscreen "$build/tests/display/render_gauges" --golden "$build/data" \
    "$src/tests/display/golden"
QT_QPA_PLATFORM=offscreen "$build/tests/display/render_gauges" "$build/data" \
    "$src/docs/gauges-a4-plus12.png" 9 4 12 0.85 2
echo "wrote $src/docs/gauges-a4-plus12.png"
