# Kernel library load time and process start to entry routine (prints
# figures; see runtime_bench.cc).
add_executable(runtime_bench ${CMAKE_CURRENT_SOURCE_DIR}/runtime_bench.cc)
target_link_libraries(runtime_bench PRIVATE tulora_runtime_core tulora_runtime_test_program
  ${CMAKE_DL_LIBS})
target_compile_definitions(runtime_bench PRIVATE TULORA_RUNTIME_DIR="${TULORA_RUNTIME_DIR}")
add_dependencies(runtime_bench ostra VThread xtra)
