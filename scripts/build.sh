#!/usr/bin/env bash
# Configures and builds one tree: scripts/build.sh DIR [cmake options...]
# Our own builds treat warnings as errors (MORVEL_WERROR); a later option can turn it off.
set -euo pipefail
dir=$1
shift
cmake -S "$(dirname "$0")/.." -B "$dir" -G Ninja -DMORVEL_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
