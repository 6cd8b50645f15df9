#!/usr/bin/env bash
# Fails when a function declared in a platform header has no definition in the files built on
# Linux or in those built on the Mac, naming the function and the system. The Mac half can't be
# compiled here, so a function defined only in a *_linux.cpp file would first fail at the Mac's
# link step; this finds it on Linux.
#
# A declaration is a statement at the start of a line (namespace scope: members of classes are
# indented) that names a function and ends with ";"; a definition is such a line in a .cpp or
# .mm file whose statement ends with "{" instead. Functions defined in the header itself count
# for both systems.
set -euo pipefail
# Written for bash 3.2 and BSD tools (the Mac's own) too: only POSIX path handling, arrays filled by read.
src="$(cd "${1:-$(dirname "$0")/../src}" && pwd -P)"

# Statements that begin at column 0, joined onto one line each, up to the ";", "{" or "}" that
# ends a line.
statements() {
    awk '
        !in_statement && /^[A-Za-z_~]/ && !/^(using|enum|struct|class|namespace|template|typedef|extern|static_assert|Q_|public|private|protected)/ {
            in_statement = 1; text = ""
        }
        in_statement {
            text = text " " $0
            if (text ~ /[;{}][[:space:]]*(\/\/.*)?$/) {
                gsub(/\/\/.*$/, "", text); print text; in_statement = 0
            }
        }' "$@"
}

# The function names of the statements on stdin that declare (";") or define ("{") one.
function_names() {
    local pattern='\)[^()]*;[[:space:]]*$'
    [ "$1" = ";" ] || pattern='\)[^(){;]*\{'
    grep -E "$pattern" |
        grep -vE '^[[:space:]]*(return|inline constexpr|constexpr)[[:space:]]' |
        sed -E 's/^([^(=]*[^A-Za-z0-9_])?([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*\(.*/\2/' |
        grep -E '^[A-Za-z_][A-Za-z0-9_]*$' | sort -u || true
}

linux_files=()
while IFS= read -r -d '' file; do
    linux_files+=("$file")
done < <(find "$src" \( -name '*.cpp' -o -name '*.mm' \) ! -name '*_mac.cpp' ! -name '*_mac.mm' -print0)
mac_files=()
while IFS= read -r -d '' file; do
    mac_files+=("$file")
done < <(find "$src" \( -name '*.cpp' -o -name '*.mm' \) ! -name '*_linux.cpp' -print0)
linux_defined="$(statements "${linux_files[@]}" | function_names '{')"
mac_defined="$(statements "${mac_files[@]}" | function_names '{')"

status=0
for header in "$src"/platform/*.h; do
    in_header="$(statements "$header" | function_names '{')"
    for name in $(statements "$header" | function_names ';'); do
        grep -qxF "$name" <<<"$in_header" && continue
        for system in linux mac; do
            defined="${system}_defined"
            if ! grep -qxF "$name" <<<"${!defined}"; then
                echo "check-platform: ${header#"$src"/} declares $name, which no file built on $system defines" >&2
                status=1
            fi
        done
    done
done
exit $status
