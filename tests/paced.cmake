# The paced test program's xtra.vlr (tests/paced/paced_pause.cc): the
# crawl's pauses as the tests set them, and a pause log. Only the tests
# build it and load it; cmake/program.cmake puts it in the payload of the
# paced program.
tulora_backends(PACED_BACKENDS paced/pause_log)
add_library(xtra_paced SHARED ${CMAKE_CURRENT_SOURCE_DIR}/paced/paced_pause.cc ${PACED_BACKENDS})
tulora_runtime_library(xtra_paced)
target_link_libraries(xtra_paced PRIVATE tulora_xtra_commands tulora_runtime_base)
set_target_properties(xtra_paced PROPERTIES OUTPUT_NAME xtra
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/paced
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/paced)
