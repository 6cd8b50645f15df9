#!/usr/bin/env bash
# check-clang.sh BUILD_DIR [ROOT]: compiles the sources again with clang and libc++ (the Mac's
# compiler and library), syntax only, with the project's own flags and warnings as errors:
#   - every translation unit of the build that the Mac builds too (not the *_linux.cpp files);
#   - every *_mac.cpp file (but those that include an Apple framework), which the Linux build never compiles, with Q_OS_MACOS
#     set and the SDK's few C declarations they use taken from scripts/mac-syntax;
#   - every unit with a Q_OS_MACOS branch again, with the macro set.
# g++ and libstdc++ forgive things clang and libc++ don't, and the Mac-only code would otherwise
# first be compiled on a Mac. Only the syntax: Debian's Qt is built against libstdc++, so nothing
# is linked, and the *_mac.mm files (AppKit) are left to the Mac.
#
# check-clang.sh --self-test plants a compile error in a *_mac.cpp file and one in a Q_OS_MACOS
# branch, and fails unless both are caught and named.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

if [ "${1:-}" = "--self-test" ]; then
    planted="$(cd "$(mktemp -d)" && pwd -P)"
    trap 'rm -rf "$planted"' EXIT
    mkdir -p "$planted/src/platform" "$planted/src/base" "$planted/build"
    printf 'int fine();\nint fine() { return 0; }\n' > "$planted/src/platform/fine.cpp"
    printf 'int broken() { return "not a number"; }\n' > "$planted/src/platform/broken_mac.cpp"
    printf 'int branch();\n#ifdef Q_OS_MACOS\nint branch() { return undeclared; }\n#else\nint branch() { return 0; }\n#endif\n' \
        > "$planted/src/base/branch.cpp"
    {
        echo '['
        for unit in platform/fine base/branch; do
            printf '{\n  "directory": "%s",\n  "command": "/usr/bin/c++ -std=c++20 -Wall -Werror -o x.o -c %s",\n  "file": "%s"\n},\n' \
                "$planted/build" "$planted/src/$unit.cpp" "$planted/src/$unit.cpp"
        done
        echo ']'
    } > "$planted/build/compile_commands.json"
    if "$0" "$planted/build" "$planted" 2> "$planted/errors"; then
        echo "check-clang: the self-test's planted errors passed" >&2
        exit 1
    fi
    for file in src/platform/broken_mac.cpp src/base/branch.cpp; do
        grep -q "check-clang: $planted/$file" "$planted/errors" ||
            { echo "check-clang: the self-test's error in $file was not reported" >&2; cat "$planted/errors" >&2; exit 1; }
    done
    echo "check-clang: self-test caught both planted errors"
    exit 0
fi

build="$(cd "${1:?build folder with compile_commands.json}" && pwd -P)"
root="$(cd "${2:-$here/..}" && pwd -P)"
commands="$build/compile_commands.json"
[ -f "$commands" ] || { echo "check-clang: no $commands (configure first)" >&2; exit 1; }
shims="$here/mac-syntax"
mac_flags="-DQ_OS_MACOS -I$shims -include $shims/apple_stdio.h"

# One "file<TAB>command" line per translation unit of ours (not Qt's generated moc files, and
# not the Linux halves of the platform layer), the JSON escapes undone.
units() {
    awk -v root="$root" '
        /"command":/ { command = $0; sub(/^[^:]*: *"/, "", command); sub(/",? *$/, "", command) }
        /"file":/ {
            file = $0; sub(/^[^:]*: *"/, "", file); sub(/",? *$/, "", file)
            if (index(file, root "/") == 1 && file !~ /_linux\.cpp$/ && file !~ /_autogen\//) print file "\t" command
        }
    ' "$commands" | sed 's/\\"/"/g; s/\\\\/\\/g'
}

# Each compile is a small script of its own; xargs runs them two or more at a time and exits
# non-zero if any one failed, so no failure can be lost between jobs.
jobs_dir="$(mktemp -d)"
trap 'rm -rf "$jobs_dir"' EXIT
count=0
add_job() { # file, flags, extra flags
    count=$((count + 1))
    printf 'cd "%s" && clang++ -stdlib=libc++ -fsyntax-only -Wno-unused-command-line-argument %s %s "%s" || { echo "check-clang: %s" >&2; exit 1; }\n' \
        "$build" "$2" "$3" "$1" "$1" > "$jobs_dir/$count.sh"
}
platform_flags=""
while IFS=$'\t' read -r file command; do
    # The same flags, but clang++ with libc++ and no output: drop the compiler, -o and -c.
    flags="$(sed -E 's/^[^ ]+ //; s/ -o [^ ]+//; s/ -c [^ ]+$//; s/ -fsanitize=[^ ]+//g' <<<"$command")"
    add_job "$file" "$flags" ""
    if grep -q 'Q_OS_MACOS' "$file"; then
        add_job "$file" "$flags" "$mac_flags"
    fi
    case "$file" in "$root"/src/platform/*) platform_flags="$flags" ;; esac
done < <(units)
[ "$count" -gt 0 ] || { echo "check-clang: no translation units found in $commands" >&2; exit 1; }
[ -n "$platform_flags" ] || { echo "check-clang: no unit of src/platform in $commands" >&2; exit 1; }
# Files that include an Apple framework (CoreFoundation, AppKit…) are left to the Mac, as the
# *_mac.mm files are.
for file in "$root"/src/*/*_mac.cpp; do
    [ -e "$file" ] || continue
    grep -qE '^#(include|import) <(CoreFoundation|Foundation|AppKit|CoreServices|Security|IOKit)/' "$file" && continue
    add_job "$file" "$platform_flags" "$mac_flags -Wmissing-prototypes"
done

parallel="$(nproc 2>/dev/null || sysctl -n hw.ncpu 2>/dev/null || echo 2)"
if ! find "$jobs_dir" -name '*.sh' -print0 | xargs -0 -n 1 -P "$parallel" sh; then
    echo "check-clang: some of $count compiles failed (named above)" >&2
    exit 1
fi
echo "check-clang: $count translation units"
