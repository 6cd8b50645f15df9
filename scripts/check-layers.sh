#!/usr/bin/env bash
# Fails when a file under src/ includes a header of a higher layer, or of a sibling folder on
# its own layer, naming both files. Linking alone would not catch it: every library exports
# src/ as its include root, so a header-only include builds without complaint.
set -euo pipefail
src="$(realpath -m "${1:-$(cd "$(dirname "$0")/.." && pwd)/src}")"

# Bottom to top; folders on one line share a layer and stay independent of each other.
rank() {
    case "$1" in
    base) echo 0 ;;
    platform) echo 1 ;;
    release | install | datacare | guide) echo 2 ;;
    app | demo) echo 3 ;;
    ui | cli) echo 4 ;;
    *) echo "" ;;
    esac
}

status=0
while IFS= read -r -d '' file; do
    rel="${file#"$src"/}"
    own="${rel%%/*}"
    own_rank="$(rank "$own")"
    [ -n "$own_rank" ] || continue
    dir="$(dirname "$file")"
    while IFS= read -r line; do
        # "app/AppModel.h", <app/AppModel.h> and "../app/AppModel.h" all name src/app.
        header="$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^">]*)[">].*/\1/' <<<"$line")"
        case "$header" in
        ./* | ../*)
            resolved="$(realpath -m "$dir/$header")"
            case "$resolved" in "$src"/*) header="${resolved#"$src"/}" ;; *) continue ;; esac
            ;;
        esac
        case "$header" in */*) ;; *) continue ;; esac
        other="${header%%/*}"
        other_rank="$(rank "$other")"
        [ -n "$other_rank" ] || continue
        if [ "$other_rank" -gt "$own_rank" ] || { [ "$other_rank" -eq "$own_rank" ] && [ "$other" != "$own" ]; }; then
            echo "check-layers: src/$rel includes $header (layer $other is not below $own)" >&2
            status=1
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' "$file" || true)
done < <(find "$src" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.mm' \) -print0)
exit $status
