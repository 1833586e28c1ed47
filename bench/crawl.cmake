# The crawl's cost per request: build/tulora against the demo site, and the
# curl command line on the same URLs (prints figures; see crawl_bench.cc).
add_executable(crawl_bench ${CMAKE_CURRENT_SOURCE_DIR}/crawl_bench.cc)
target_link_libraries(crawl_bench PRIVATE tulora_demosite tulora_test_process)
target_compile_definitions(crawl_bench PRIVATE
  TULORA_PROGRAM="${CMAKE_BINARY_DIR}/tulora"
  TULORA_PACED_PROGRAM="${paced_program_file}"
  TULORA_GALLERY_URL="${TULORA_GALLERY_URL}"
  TULORA_PICTURE_URL="${TULORA_PICTURE_URL}")
add_dependencies(crawl_bench tulora_program tulora_paced_program)
