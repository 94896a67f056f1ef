#!/usr/bin/env bash
# CI step: fuzz the state.txt reader for a bounded time with libFuzzer (clang, ASan + UBSan).
# Fails on any crash, hang (an input taking over 10 s), leak, sanitizer report or broken
# round trip. Inputs that fail are kept in build/fuzz/artifacts/ for reproduction:
#   build/fuzz/fuzz_settings_reader build/fuzz/artifacts/<file>
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${TARVO_FUZZ_SECONDS:-60}

echo "fuzz: configuring and building preset 'fuzz' (clang++)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_settings_reader

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts"

echo "fuzz: running fuzz_settings_reader for ${seconds} s on the seeds in fuzz/corpus"
status=0
# The outer timeout only guards against the fuzzer itself never stopping.
timeout --kill-after=10 $((seconds + 120)) build/fuzz/fuzz_settings_reader \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" fuzz/corpus >"$work/fuzz.log" 2>&1 ||
    status=$?

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz.log")
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ] ||
    grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$work/fuzz.log"; then
    tail -n 60 "$work/fuzz.log"
    mkdir -p build/fuzz/artifacts
    cp -r "$work/artifacts/." build/fuzz/artifacts/ 2>/dev/null || true
    echo "fuzz: FAILED (exit $status); failing inputs in build/fuzz/artifacts/" >&2
    exit 1
fi
echo "fuzz: settings reader: ${runs:-?} executions in ${seconds} s, corpus $(ls "$work/corpus" | wc -l) new inputs; no crash, hang or sanitizer report"
