# The entry routine, the main routine, the program-wide values and the
# application's system calls (console, files, directories, threads, pauses).
set(TULORA_CONSOLE_SOURCES
  ${PROJECT_SOURCE_DIR}/image/system_calls.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/program_values.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/entry.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/console_main.cc)
foreach(src ${TULORA_CONSOLE_SOURCES})
  set_property(GLOBAL APPEND PROPERTY TULORA_APP_SOURCES ${src})
endforeach()

# Hosted: the system calls and the program-wide values join the shared
# application library; the entry routine forms its own, since each program
# has one entry (its tests bring their own ConsoleMain).
target_sources(tulora_app_shared PRIVATE ${PROJECT_SOURCE_DIR}/image/system_calls.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/program_values.cc)
add_library(tulora_app_entry STATIC ${CMAKE_CURRENT_SOURCE_DIR}/entry.cc)
target_link_libraries(tulora_app_entry PUBLIC tulora_app_shared)

# The system calls against the real kernel commands and support libraries.
tulora_test(system_calls_test ${PROJECT_SOURCE_DIR}/image/system_calls_test.cc)
target_link_libraries(system_calls_test PRIVATE tulora_app_shared tulora_runtime_core)
target_compile_definitions(system_calls_test PRIVATE TULORA_RUNTIME_DIR="${TULORA_RUNTIME_DIR}")
add_dependencies(system_calls_test VThread xtra)

# The entry routine's sequence against a recording service table.
tulora_test(entry_test ${CMAKE_CURRENT_SOURCE_DIR}/entry_test.cc)
target_link_libraries(entry_test PRIVATE tulora_app_entry)
