#!/usr/bin/env bash
# CI step: every tracked C++ source and header must already be as clang-format (the repo's
# .clang-format) would write it. Lists the files that are not; fix them with clang-format -i.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
if ! command -v clang-format >/dev/null; then
    echo "format: clang-format not installed" >&2
    exit 1
fi
# A listing that fails (no git, or not a clone) must not pass as "nothing to check".
listing=$(git ls-files -- '*.cpp' '*.h') || {
    echo "format: cannot list the tracked sources (git ls-files failed)" >&2
    exit 1
}
mapfile -t files <<<"$listing"
if [ -z "$listing" ]; then
    echo "format: no tracked C++ sources found" >&2
    exit 1
fi
bad=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue # deleted in the working tree
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
echo "format: checked ${#files[@]} files with $(clang-format --version)"
if [ ${#bad[@]} -gt 0 ]; then
    echo "format: ${#bad[@]} not formatted (clang-format -i them):"
    printf '    %s\n' "${bad[@]}"
    exit 1
fi
echo "format: all formatted"
