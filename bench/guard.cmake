# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# guard_bench: the running-set and open-path queries on an idle machine and on
# a simulated busy desktop, side by side with ps and lsof.
# Run: build/bench/guard_bench
add_executable(guard_bench guard/GuardBench.cpp)
target_link_libraries(guard_bench PRIVATE quillon_guard quillon_bench_support)
set_target_properties(guard_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

# guard_clean_bench: a real clean of 5 000 old log files with the user idle
# and on the busy desktop, and the built binary's dry run on a 100 000-file
# browser cache against `du -s`.
# Run: build/bench/guard_clean_bench
add_executable(guard_clean_bench guard/GuardCleanBench.cpp)
target_link_libraries(guard_clean_bench PRIVATE quillon_engine quillon_bench_support)
if(TARGET quillon)
    target_compile_definitions(guard_clean_bench PRIVATE QUILLON_BINARY="$<TARGET_FILE:quillon>")
else()
    target_compile_definitions(guard_clean_bench PRIVATE QUILLON_BINARY="")
endif()
set_target_properties(guard_clean_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
