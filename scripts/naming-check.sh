#!/usr/bin/env bash
# Checks the naming conventions of .clang-tidy (readability-identifier-naming
# only) over the sources of the library, the application and the tool, with
# the compile commands of a build folder (configured with
# -DCMAKE_EXPORT_COMPILE_COMMANDS=ON). Tests and fuzz targets are left out:
# the test framework's macros make names of their own.
#   scripts/naming-check.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if ! command -v clang-tidy >/dev/null 2>&1; then
    echo "naming-check: clang-tidy is not installed" >&2
    exit 1
fi
if [ ! -f "$build/compile_commands.json" ]; then
    echo "naming-check: $build/compile_commands.json is missing (configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)" >&2
    exit 1
fi
root=$PWD
files=$(python3 - "$build/compile_commands.json" "$root" <<'PY'
import json, sys
root = sys.argv[2].rstrip("/") + "/"
for entry in json.load(open(sys.argv[1])):
    f = entry["file"]
    if f.startswith(root) and f[len(root):].split("/")[0] in ("tags", "app", "tools"):
        print(f)
PY
)
count=$(echo "$files" | awk 'NF' | wc -l)
start=$(date +%s)
out=$(echo "$files" | xargs -P "$(nproc)" -n 1 clang-tidy -p "$build" --quiet 2>/dev/null | grep -E '\[(readability-identifier-naming|clang-diagnostic-error)' | sort -u || true)
echo "naming-check: $count files in $(( $(date +%s) - start )) s"
if [ -n "$out" ]; then
    echo "$out" >&2
    echo "naming-check: rename these, or widen the rule in .clang-tidy with the reason" >&2
    exit 1
fi
