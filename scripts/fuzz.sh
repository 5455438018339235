#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 20) on its seeds.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
CC=clang CXX=clang++ bash scripts/build.sh build-fuzz -DMORVEL_FUZZ=ON -DMORVEL_TESTS=OFF \
    -DMORVEL_GUI=OFF -DMORVEL_BENCH=OFF
# Any sanitizer finding ends the run with a stack trace, so it fails this script.
export ASAN_OPTIONS="halt_on_error=1:print_stacktrace=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
shopt -s nullglob
for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    seeds=fuzz/seeds/${name#fuzz_}
    work=build-fuzz/corpus/$name
    mkdir -p "$work"
    args=("$work")
    [ -d "$seeds" ] && args+=("$seeds")
    echo "fuzzing $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=2048 -print_final_stats=0 \
        "${args[@]}" 2>"build-fuzz/$name.log" || { tail -50 "build-fuzz/$name.log"; exit 1; }
done
echo "fuzz: all targets ran clean"
