#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the normal build, the whole suite again
# under AddressSanitizer + UndefinedBehaviorSanitizer, and each fuzz target briefly on its seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

bash scripts/build.sh build
(cd build && ctest --output-on-failure -j "$(nproc)")

bash scripts/build.sh build-asan -DMORVEL_SANITIZE=ON -DMORVEL_BENCH=OFF -DMORVEL_GUI=OFF \
    -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ctest --output-on-failure -j "$(nproc)")

bash scripts/fuzz.sh 20
