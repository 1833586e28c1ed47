# The whole picture path, build/tulora against the curl command line, on
# pictures of 1, 8 and 64 MiB (prints figures; see picture_bench.cc).
add_executable(picture_bench ${CMAKE_CURRENT_SOURCE_DIR}/picture_bench.cc)
target_link_libraries(picture_bench PRIVATE tulora_demosite tulora_test_process)
target_compile_definitions(picture_bench PRIVATE
  TULORA_PROGRAM="${CMAKE_BINARY_DIR}/tulora"
  TULORA_GALLERY_URL="${TULORA_GALLERY_URL}"
  TULORA_PICTURE_URL="${TULORA_PICTURE_URL}")
add_dependencies(picture_bench tulora_program)
