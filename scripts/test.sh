#!/usr/bin/env bash
# Builds Vantor and runs every test: the scripts' own checks (under the Mac's tools), the normal
# build (and its sources again through clang and libc++, the Mac's compiler, Mac-only files
# included), then the same tests under AddressSanitizer and UndefinedBehaviorSanitizer. The
# platform functions' declarations on both systems are checked by ctest (platform-functions).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== build scripts with the Mac's tools: layers, formatting, the clang pass's self-test"
scripts/check-portable.sh

for preset in dev asan; do
    echo "== $preset build"
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    # On the Mac the build itself is clang and libc++ already.
    if [ "$preset" = dev ] && [ "$(uname -s)" != Darwin ]; then
        echo "== clang and libc++ (the Mac's compiler and library), syntax only"
        scripts/check-clang.sh build/dev
    fi
    ctest --preset "$preset"
done
