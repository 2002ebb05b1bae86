# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# clean_bench: a fixture home whose browser caches hold 100 000 files, cleaned
# for real by the clean run, against `rm -rf` of an identical copy.
# Run: build/bench/clean_bench
add_executable(clean_bench engine/CleanBench.cpp)
target_link_libraries(clean_bench PRIVATE quillon_engine quillon_bench_support)
set_target_properties(clean_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
