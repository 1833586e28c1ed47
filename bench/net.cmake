# The request routines against the curl command line: throughput and peak
# memory on 1, 16 and 64 MiB bodies (prints figures; see net_bench.cc).
add_executable(net_bench_site ${CMAKE_CURRENT_SOURCE_DIR}/net_bench_site.cc)
target_link_libraries(net_bench_site PRIVATE tulora_testsite)
target_include_directories(net_bench_site PRIVATE ${PROJECT_SOURCE_DIR})
add_executable(net_bench ${CMAKE_CURRENT_SOURCE_DIR}/net_bench.cc)
target_link_libraries(net_bench PRIVATE tulora_app tulora_runtime_core)
target_compile_definitions(net_bench PRIVATE NET_BENCH_SITE="$<TARGET_FILE:net_bench_site>")
add_dependencies(net_bench net_bench_site)
