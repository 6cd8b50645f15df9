#!/usr/bin/env bash
# Builds Vantor and shows its whole job in demo mode: a sandbox in the temporary folder (a home
# with OpenEmu's data, a simulated Apple-silicon Mac) and a local release feed of a small sample
# OpenEmu, 1.0.3 and then 1.0.4. Nothing outside the sandbox is read or written.
#
# With a display it opens the window (`vantor --demo`). Without one it walks through the same
# story headless with vantor-cli: install, update, rollback, backup, restore, and Tidy.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${VANTOR_HEADLESS:-}" != 1 ]; then
    exec build/dev/src/vantor --demo
fi

cli() {
    echo
    echo "\$ vantor-cli --demo $*"
    build/dev/src/vantor-cli --demo --progress "$@"
}

echo
echo "No display: the same walk-through with vantor-cli."
cli --demo-reset status
cli --yes install
cli latest
cli --yes update
cli --yes rollback
cli status
backups="${TMPDIR:-/tmp}/vantor-demo/backups"
cli --yes backup --to "$backups"
zip=$(ls -t "$backups"/OpenEmu-Backup-*.zip | head -n 1)
cli --yes restore "$zip"
cli tidy
cli guide
