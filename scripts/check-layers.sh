#!/usr/bin/env bash
# The layer check (scripts/check-layers.cmake) for a src folder, the project's by default.
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
src="${1:-$here/../src}"
exec cmake -DSRC="$src" -P "$here/check-layers.cmake"
