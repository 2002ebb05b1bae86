#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# Builds the metadata fuzz target with clang and libFuzzer in build-fuzz and
# runs it for the number of seconds given as the first argument (default 20)
# from the committed corpus of well-formed, odd and hostile property lists
# (fuzz/corpus/metadata; a name's first word is the answer the metadata check
# must give, which the unit tests check).
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=build-fuzz

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DQUILLON_FUZZ=ON -DQUILLON_BUILD_APP=OFF -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF
cmake --build "$build" --target quillon_metadata_fuzzer -j 2

# New inputs go to the build folder; the committed corpus (seeds, hostile
# lists, and a minimised set of earlier finds) is only read.
seeds=fuzz/corpus/metadata
corpus="$build/metadata-corpus"
artifacts="$build/metadata-artifacts"
mkdir -p "$corpus" "$artifacts"

"$build/fuzz/quillon_metadata_fuzzer" "$corpus" "$seeds" \
    -dict=fuzz/metadata.dict -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" -print_final_stats=1
