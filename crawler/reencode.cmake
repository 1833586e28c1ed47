# Re-encoding through UTF-16: part of tulora_app_shared.
set_property(GLOBAL APPEND PROPERTY TULORA_APP_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/reencode.cc)
target_sources(tulora_app_shared PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/reencode.cc)

tulora_test(reencode_test ${CMAKE_CURRENT_SOURCE_DIR}/reencode_test.cc)
target_link_libraries(reencode_test PRIVATE tulora_app_shared tulora_hosted_runtime)
