#!/usr/bin/env bash
# Code and test lines (non-blank, non-comment lines of .cpp, .h and .mm files) and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.mm' \) -print0 |
        xargs -0 cat |
        sed -e 's/^[[:space:]]*//' |
        awk '
            /^\/\*/ { block = 1 }
            block { if ($0 ~ /\*\//) block = 0; next }
            /^$/ || /^\/\// { next }
            { n++ }
            END { print n + 0 }'
}

code=$(count src bench)
tests=$(count tests)
echo "code:  $code lines (src/, bench/)"
echo "tests: $tests lines (tests/)"
awk -v c="$code" -v t="$tests" 'BEGIN { printf "ratio: %.1f%% (tests / code)\n", 100 * t / c }'
