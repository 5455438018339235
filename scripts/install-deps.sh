#!/usr/bin/env bash
# Installs what Morvel needs to build and test on Debian 12. Safe to run again: only missing
# packages are installed. Works as root or through sudo.
set -euo pipefail

packages=(
    build-essential cmake ninja-build g++ clang libclang-rt-14-dev
    zlib1g-dev libdeflate-dev pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev
    qt6-base-dev qt6-svg-dev xvfb xauth
    python3 python3-docx python3-olefile antiword libreoffice-writer-nogui
    clang-format unzip
    desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
