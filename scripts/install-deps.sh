#!/usr/bin/env bash
# Installs what Vantor needs to build and test: Debian's packages on Debian and Ubuntu,
# Homebrew's on macOS. Safe to run again; it installs only what is missing.
set -euo pipefail

debian_packages=(
    build-essential cmake ninja-build pkg-config clang-format clang libc++-dev libc++abi-dev
    qt6-base-dev qcoro-qt6-dev libssl-dev libplist-dev libsdl2-dev libcpp-httplib-dev zlib1g-dev libarchive-dev
    libcurl4-openssl-dev
    zip unzip 7zip genisoimage strace util-linux openssl
)
# qtbase and qttools (macdeployqt), not all of Qt.
# libcurl is the system's (in the SDK).
brew_packages=(cmake ninja pkg-config clang-format qtbase qttools qcoro6 openssl@3 libplist sdl2 cpp-httplib libarchive)

case "$(uname -s)" in
Linux)
    if ! command -v apt-get >/dev/null; then
        echo "install-deps: only Debian and Ubuntu are supported here; install the equivalents of: ${debian_packages[*]}" >&2
        exit 1
    fi
    missing=()
    for package in "${debian_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
    fi
    ;;
Darwin)
    command -v brew >/dev/null || { echo "install-deps: Homebrew is needed (https://brew.sh)" >&2; exit 1; }
    brew install "${brew_packages[@]}"
    ;;
*)
    echo "install-deps: unsupported system $(uname -s)" >&2
    exit 1
    ;;
esac
