#!/usr/bin/env bash
# Runs the scripts a Mac runs (the build's and the test command's own checks) with tools that
# refuse what the Mac's BSD userland and bash 3.2 lack: scripts/mac-tools puts wrappers for
# realpath, readlink, sed, stat, date, find, grep and xargs first on PATH, a failing nproc, and
# disables mapfile and wait -n. Then plants GNU-only calls and fails unless each is refused.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd -P)"
strict() { PATH="$here/mac-tools:$PATH" BASH_ENV="$here/mac-tools/bash32.bash" "$@"; }
[ "$(uname -s)" != Darwin ] || strict() { "$@"; }

for script in check-layers.sh check-format.sh linecount.sh; do
    echo "check-portable: $script"
    strict "$here/$script" > /dev/null
done
if command -v clang++ > /dev/null; then
    echo "check-portable: check-clang.sh --self-test"
    strict "$here/check-clang.sh" --self-test > /dev/null
fi

# The strict tools must refuse each of these, or the runs above prove nothing. On a Mac the
# system's own tools refuse them, which the runs above already used.
if [ "$(uname -s)" = Darwin ]; then
    echo "check-portable: the scripts run with the Mac's own tools"
    exit 0
fi
planted="$(mktemp -d)"
trap 'rm -rf "$planted"' EXIT
caught=0
total=0
for call in 'realpath -m a/../b' 'readlink -f -e .' "sed -i 's/a/b/' file" 'sed -r s/a/b/ /dev/null' \
    'stat -c %s .' 'date -d yesterday' 'find . -printf %p' 'echo x | grep -P x' 'xargs -r true < /dev/null' \
    'nproc' 'mapfile -t lines < /dev/null' 'sleep 0 & wait -n'; do
    total=$((total + 1))
    printf '#!/usr/bin/env bash\nset -e\ncd "%s"\ntouch file\n%s\n' "$planted" "$call" > "$planted/script.sh"
    chmod +x "$planted/script.sh"
    # Each runs with the system's own tools, so a refusal below is the Mac's tools' doing.
    "$planted/script.sh" > /dev/null 2>&1 || { echo "check-portable: '$call' fails even here" >&2; exit 1; }
    if strict "$planted/script.sh" > /dev/null 2>&1; then
        echo "check-portable: the Mac's tools would refuse '$call', but it ran" >&2
    else
        caught=$((caught + 1))
    fi
done
[ "$caught" -eq "$total" ] || exit 1
echo "check-portable: the scripts run with the Mac's tools; all $total planted GNU-only calls refused"
