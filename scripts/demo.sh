#!/usr/bin/env bash
# Builds Vantor and shows its main job offline: a local sample release feed, a sandbox home
# with OpenEmu 1.0.3 installed, and vantor-cli reporting the status and the latest release.
# Nothing outside the sandbox (in the temporary folder) is read or written.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev

sandbox=$(mktemp -d "${TMPDIR:-/tmp}/vantor-demo.XXXXXX")
feed_out="$sandbox/feed.out"
build/dev/tests/vantor-sample-feed --home "$sandbox" >"$feed_out" &
feed_pid=$!
trap 'kill "$feed_pid" 2>/dev/null || true; rm -rf "$sandbox"' EXIT
for _ in $(seq 100); do
    [ -s "$feed_out" ] && break
    sleep 0.1
done
feed_url=$(head -n 1 "$feed_out")

export HOME="$sandbox/home"
export VANTOR_SYSTEM_APPLICATIONS="$sandbox/Applications"
export VANTOR_HOST="macos-14.5.0-arm64"   # a simulated Apple-silicon Mac
export VANTOR_FEED_URL="$feed_url"
export XDG_CONFIG_HOME="$sandbox/config"
export XDG_DATA_HOME="$sandbox/data"

echo
echo "Sandbox: $sandbox"
echo "Release feed: $feed_url"
echo
echo "\$ vantor-cli status"
build/dev/src/vantor-cli status
echo
echo "\$ vantor-cli latest"
build/dev/src/vantor-cli latest
echo
echo "\$ vantor-cli --json latest"
build/dev/src/vantor-cli --json latest
