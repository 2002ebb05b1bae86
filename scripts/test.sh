#!/bin/sh
# Builds and runs every test: the warning-clean build and its suite, the
# built-in self-test, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, a short run of the metadata fuzz target, and
# the fault variants that prove the self-test catches a broken safety rule.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

# The self-test of the shipped binary, with HOME, TMPDIR and XDG_CACHE_HOME in
# a private folder.
fixture=$(mktemp -d /tmp/quillon-selftest-XXXXXX)
trap 'rm -rf "$fixture"' EXIT INT TERM
mkdir -m 700 "$fixture/home" "$fixture/tmp" "$fixture/cache"
HOME="$fixture/home" TMPDIR="$fixture/tmp" XDG_CACHE_HOME="$fixture/cache" build/quillon --self-test

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLON_WERROR=ON -DQUILLON_SANITIZE=ON \
      -DQUILLON_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs")

sh scripts/fuzz.sh 30
JOBS="$jobs" sh scripts/fault-variants.sh
