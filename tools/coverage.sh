#!/usr/bin/env bash
# Line and branch coverage of the product code by the default test suite, with gcovr.
#   tools/coverage.sh [OUT]     builds preset "coverage" (Debug, --coverage; build/coverage),
#                               runs every test of it with ctest -j2, then writes to OUT
#                               (default build/coverage-report): summary.txt (overall and per
#                               folder), coverage.json (per file) and ctest.log.
# Tests, benchmarks, fuzz targets and generated files do not count as covered code.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:-build/coverage-report}" && cd "${1:-build/coverage-report}" && pwd)
cmake --preset coverage >/dev/null
cmake --build build/coverage >"$out/build.log"
find build/coverage -name '*.gcda' -delete
status=0
ctest --test-dir build/coverage -j2 --timeout 600 >"$out/ctest.log" 2>&1 || status=$?
tail -n 3 "$out/ctest.log"
gcovr -r . build/coverage --exclude 'tests/' --exclude 'bench/' --exclude 'fuzz/' \
    --exclude 'build/' --exclude-unreachable-branches --exclude-throw-branches \
    --json-summary "$out/coverage.json" --json-summary-pretty >/dev/null
python3 - "$out/coverage.json" >"$out/summary.txt" <<'PY'
import json, sys
files = json.load(open(sys.argv[1]))["files"]
sums = {}
for f in files:
    for key in (f["filename"].split("/")[0], "all"):
        s = sums.setdefault(key, [0, 0, 0, 0])
        for i, k in enumerate(("line_covered", "line_total", "branch_covered", "branch_total")):
            s[i] += f[k]
pct = lambda a, b: 100.0 * a / b if b else 0.0
for key, (lc, lt, bc, bt) in sorted(sums.items(), key=lambda kv: (kv[0] == "all", kv[0])):
    print(f"{key:10} lines {pct(lc, lt):5.1f} % ({lc} of {lt})  branches {pct(bc, bt):5.1f} % ({bc} of {bt})")
PY
cat "$out/summary.txt"
exit $status
