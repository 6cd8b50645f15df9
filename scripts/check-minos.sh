#!/usr/bin/env bash
# check-minos.sh BUNDLE MINIMUM: fails when a Mach-O file in the bundle needs a newer macOS than
# MINIMUM (the bundle's LSMinimumSystemVersion), naming each. Libraries copied from Homebrew
# carry the macOS of the machine that built them; the bundle must not claim less. macOS only
# (otool comes with the Command Line Tools); the last step of the install.
set -euo pipefail
bundle="$1"
minimum="$2"

# The oldest macOS a Mach-O file runs on: LC_BUILD_VERSION's minos, or the older
# LC_VERSION_MIN_MACOSX's version.
minos() {
    otool -l "$1" | awk '
        /cmd LC_BUILD_VERSION/ { build = 1; next }
        /cmd LC_VERSION_MIN_MACOSX/ { legacy = 1; next }
        build && $1 == "minos" { print $2; exit }
        legacy && $1 == "version" { print $2; exit }'
}

newer_than_minimum() {
    [ "$1" != "$minimum" ] && [ "$(printf '%s\n%s\n' "$minimum" "$1" | sort -V | tail -n 1)" = "$1" ]
}

status=0
while IFS= read -r -d '' file; do
    file -b "$file" | grep -q '^Mach-O' || continue
    needs="$(minos "$file")"
    if [ -n "$needs" ] && newer_than_minimum "$needs"; then
        echo "check-minos: ${file#"$bundle"/} needs macOS $needs, but the bundle says $minimum" >&2
        status=1
    fi
done < <(find "$bundle" -type f -print0)
exit $status
