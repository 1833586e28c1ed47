# JoinTexts, MergeCookies and Utf8ToGbk over the hosted test runtime.
find_package(benchmark REQUIRED)
add_executable(values_bench ${CMAKE_CURRENT_SOURCE_DIR}/values_bench.cc)
target_link_libraries(values_bench PRIVATE
  tulora_app tulora_hosted_runtime benchmark::benchmark)
