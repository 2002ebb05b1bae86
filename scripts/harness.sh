#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# Runs the adversarial harness for longer than the test suite does: many
# trials of the real clean on fixture homes that change under it, each with
# a preview and a real run on an untouched copy. Everything happens inside
# the test program's private fixture folder; the real home and /tmp at
# large are never touched.
#
# Usage: sh scripts/harness.sh [trials] [seed]
#   trials  number of adversarial trials (default 5000)
#   seed    first seed (default: a random one, printed first)
# BUILD names the build folder (default: build); JOBS the build parallelism
# (default: nproc). A failing trial prints its seed and what went wrong.
set -eu
cd "$(dirname "$0")/.."
trials=${1:-5000}
seed=${2:-$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')}
build=${BUILD:-build}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON -DQUILLON_PROGRAM_ONLY=OFF >/dev/null
cmake --build "$build" --target harness_tests -j "${JOBS:-$(nproc)}"

echo "harness: $trials trials from seed $seed"
QUILLON_HARNESS_TRIALS=$trials QUILLON_HARNESS_SEED=$seed "$build/tests/harness_tests"
