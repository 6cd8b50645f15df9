#!/usr/bin/env bash
# Builds Vantor and runs every test: the layer and platform checks, the normal build (and its
# sources again through clang and libc++, the Mac's compiler), then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the formatting check.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

echo "== layers"
scripts/check-layers.sh
echo "== platform functions on both systems"
scripts/check-platform.sh

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

echo "== formatting"
scripts/check-format.sh
