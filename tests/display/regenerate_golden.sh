#!/bin/sh
# Rewrites the golden images of the display tests (and the documentation picture, the first
# scene at twice the size) from the current artwork and drawing code.
# Usage: tests/display/regenerate_golden.sh [build-dir]
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$src/build/default}
cmake --build "$build" --target test_display tarvo_artwork
TARVO_WRITE_GOLDEN=1 QT_QPA_PLATFORM=offscreen "$build/tests/display/test_display" \
    --gtest_filter='GoldenImages.*'
convert "$src/tests/display/golden/a4-plus12.png" -sample 200% "$src/docs/gauges-a4-plus12.png"
echo "wrote $src/tests/display/golden and $src/docs/gauges-a4-plus12.png"
