#!/usr/bin/env bash
# check-clang.sh BUILD_DIR: compiles every translation unit that is built on both systems again
# with clang and libc++ (the Mac's compiler and library), syntax only, with the project's own
# flags and warnings as errors. g++ and libstdc++ forgive things clang and libc++ don't (a
# missing include that libstdc++ pulls in by chance, a narrowing clang warns about); this finds
# them on Linux. Only the syntax: Debian's Qt is built against libstdc++, so nothing is linked.
set -euo pipefail
build="$(realpath "${1:?build folder with compile_commands.json}")"
root="$(cd "$(dirname "$0")/.." && pwd)"
commands="$build/compile_commands.json"
[ -f "$commands" ] || { echo "check-clang: no $commands (configure first)" >&2; exit 1; }

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

failed=0
count=0
jobs="$(nproc 2>/dev/null || echo 2)"
while IFS=$'\t' read -r file command; do
    # The same flags, but clang++ with libc++ and no output: drop the compiler, -o and -c.
    flags="$(sed -E 's/^[^ ]+ //; s/ -o [^ ]+//; s/ -c [^ ]+$//; s/ -fsanitize=[^ ]+//g' <<<"$command")"
    count=$((count + 1))
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || failed=1; done
    (
        cd "$build"
        eval "clang++ -stdlib=libc++ -fsyntax-only -Wno-unused-command-line-argument $flags \"$file\""
    ) || { echo "check-clang: $file" >&2; exit 1; } &
done < <(units)
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || failed=1; done
[ "$count" -gt 0 ] || { echo "check-clang: no translation units found in $commands" >&2; exit 1; }
echo "check-clang: $count translation units"
exit $failed
