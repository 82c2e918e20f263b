#!/usr/bin/env bash
# Reports functions that nothing in the program calls (cppcheck's
# unusedFunction check over the library, the application and the tool), and
# fails when one is not in scripts/unused-functions.allow: the accessors the
# library offers its callers on purpose, those only the tests and fuzz
# targets call, and names cppcheck mistakes for unused ones.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v cppcheck >/dev/null 2>&1; then
    echo "unused-functions: cppcheck is not installed" >&2
    exit 1
fi
found=$(cppcheck --quiet --enable=unusedFunction --std=c++20 --library=qt -I . tags app tools 2>&1 |
        grep unusedFunction | sed -E "s/^([^:]+):([0-9]+).*function '([^']+)'.*/\3 \1:\2/" | sort -u)
allowed=$(grep -v '^#' scripts/unused-functions.allow | awk 'NF {print $1}' | sort -u)
new=$(comm -23 <(echo "$found" | awk 'NF {print $1}' | sort -u) <(echo "$allowed"))
echo "unused-functions: $(echo "$found" | awk 'NF' | wc -l) functions no program code calls, all listed as kept on purpose${new:+ but these}"
if [ -n "$new" ]; then
    echo "$found" | grep -wF -f <(echo "$new") >&2
    echo "unused-functions: delete them, or list them in scripts/unused-functions.allow with the reason" >&2
    exit 1
fi
