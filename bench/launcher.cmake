# Start-to-entry time of build/tulora as built and of the launcher with a
# 4 MiB file set, against starting a trivial executable.
add_executable(bench_trivial ${CMAKE_CURRENT_SOURCE_DIR}/trivial_main.cc)
add_executable(launcher_bench ${CMAKE_CURRENT_SOURCE_DIR}/launcher_bench.cc)
target_link_libraries(launcher_bench PRIVATE tulora_payload_writer)
target_compile_definitions(launcher_bench PRIVATE
  TULORA_PROGRAM="${CMAKE_BINARY_DIR}/tulora"
  TULORA_RAW_LAUNCHER="$<TARGET_FILE:tulora-launcher>"
  TESTKERNEL_RECORDING="$<TARGET_FILE:tulora_testkernel_recording>"
  BENCH_TRIVIAL="$<TARGET_FILE:bench_trivial>")
add_dependencies(launcher_bench tulora_program tulora-launcher tulora_testkernel_recording
                 bench_trivial)

# The Windows program's start under wine (scripts/bench-windows.sh runs it
# on build-win32/tulora.exe and the Windows build of bench_trivial).
add_executable(wine_start_bench ${CMAKE_CURRENT_SOURCE_DIR}/wine_start_bench.cc)
target_include_directories(wine_start_bench PRIVATE ${PROJECT_SOURCE_DIR})
