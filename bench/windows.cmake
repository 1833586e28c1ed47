# The Windows builds' part of the benchmarks: the trivial executable that
# the start of tulora.exe is measured against (bench/wine_start_bench.cc).
add_executable(bench_trivial ${CMAKE_CURRENT_LIST_DIR}/trivial_main.cc)
set_target_properties(bench_trivial PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
