add_executable(guard_bench guard/GuardBench.cpp)
target_link_libraries(guard_bench PRIVATE quillon_guard)
set_target_properties(guard_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
