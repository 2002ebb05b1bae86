# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# fs_bench: builds 100 000 small files in 1 000 directories, inspects and
# removes them with removeChecked, removes an identical tree with rm -rf, and
# prints wall times, their ratio, system calls per file and memory.
# Run: build/bench/fs_bench
add_executable(fs_bench fs/FsBench.cpp)
target_link_libraries(fs_bench PRIVATE quillon_fs quillon_settings)
set_target_properties(fs_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
