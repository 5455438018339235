#!/usr/bin/env bash
# Builds the suites with ThreadSanitizer into build-tsan and runs the tests of the worker and
# job control (recovery jobs, stop, shutdown, searches). Any data race report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -G Ninja -DMORVEL_WERROR=ON -DMORVEL_TSAN=ON -DMORVEL_BENCH=OFF \
    -DMORVEL_GUI=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
ninja -C build-tsan -j2 test_core test_discovery
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export MORVEL_CORPUS="${MORVEL_CORPUS:-$PWD/../shared/corpus}"
build-tsan/tests/core/test_core --gtest_filter='StoreJobs.*:StoreTable.*:Settings.*'
build-tsan/tests/discovery/test_discovery --gtest_filter='Search*'
