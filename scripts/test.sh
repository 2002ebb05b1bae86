#!/bin/sh
# Builds and runs every test: the warning-clean build and its suite, the
# built-in self-test, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the engine under ThreadSanitizer, a short run of
# the metadata fuzz target, and
# the fault variants that prove the self-test catches a broken safety rule.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

# The self-test of the shipped binary, with HOME, TMPDIR and the XDG folders
# in a private folder.
fixture=$(mktemp -d /tmp/quillon-selftest-XXXXXX)
trap 'rm -rf "$fixture"' EXIT INT TERM
mkdir -m 700 "$fixture/home" "$fixture/tmp" "$fixture/cache"
HOME="$fixture/home" TMPDIR="$fixture/tmp" XDG_CACHE_HOME="$fixture/cache" XDG_CONFIG_HOME="$fixture/home/.config" \
  XDG_STATE_HOME="$fixture/home/.local/state" build/quillon --self-test

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLON_WERROR=ON -DQUILLON_SANITIZE=ON \
      -DQUILLON_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs")

# The engine, a cancel from another thread and a short adversarial run under
# ThreadSanitizer.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON -DQUILLON_TSAN=ON \
      -DQUILLON_BUILD_APP=OFF -DQUILLON_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs" --target engine_tests harness_cancel_tests harness_tests
(cd build-tsan && QUILLON_HARNESS_TRIALS=50 QUILLON_HARNESS_PAIRS=4 \
    ctest --output-on-failure -R '^(engine_tests|harness_cancel_tests|harness_tests)$')

sh scripts/fuzz.sh 30
JOBS="$jobs" sh scripts/fault-variants.sh
