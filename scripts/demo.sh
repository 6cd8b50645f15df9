#!/usr/bin/env bash
# Builds Vantor and does its main job offline, for real: a local release feed publishes
# OpenEmu 1.0.3 and then 1.0.4 (a small sample app bundle), and vantor-cli installs, updates,
# rolls back and reports, in a sandbox home under the temporary folder (a simulated
# Apple-silicon Mac). Nothing outside the sandbox is read or written.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev

sandbox=$(mktemp -d "${TMPDIR:-/tmp}/vantor-demo.XXXXXX")
mkdir -p "$sandbox/home" "$sandbox/Applications" "$sandbox/tmp"
feed_out="$sandbox/feed.out"
build/dev/tests/vantor-sample-feed "$sandbox/releases" >"$feed_out" &
feed_pid=$!
trap 'kill "$feed_pid" 2>/dev/null || true; rm -rf "$sandbox"' EXIT
for _ in $(seq 200); do
    [ "$(wc -l <"$feed_out")" -ge 2 ] && break
    sleep 0.1
done
first_feed=$(sed -n 1p "$feed_out")
latest_feed=$(sed -n 2p "$feed_out")

export HOME="$sandbox/home"
export VANTOR_SYSTEM_APPLICATIONS="$sandbox/Applications"
export VANTOR_HOST="macos-14.5.0-arm64"
export XDG_CONFIG_HOME="$sandbox/config"
export XDG_DATA_HOME="$sandbox/data"
export TMPDIR="$sandbox/tmp"
cli=build/dev/src/vantor-cli

show() {
    echo
    echo "\$ vantor-cli $*"
    "$cli" "$@"
}

echo
echo "Sandbox: $sandbox"
echo "Release feeds: $first_feed (1.0.3), $latest_feed (1.0.4)"
VANTOR_FEED_URL="$first_feed" show status
VANTOR_FEED_URL="$first_feed" show --yes install
export VANTOR_FEED_URL="$latest_feed"
show latest
show --yes update
show status
show --yes rollback
show status
show tidy
