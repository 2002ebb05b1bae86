# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# scan_bench: plans an old-files location of 100 000 files in nested folders
# and compares files scanned per second with `du -s` over the same tree.
# Run: build/bench/scan_bench
add_executable(scan_bench scan/ScanBench.cpp)
target_link_libraries(scan_bench PRIVATE quillon_scan quillon_bench_support)
set_target_properties(scan_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
