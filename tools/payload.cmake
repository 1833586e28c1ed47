# The payload inspector: what an executable's payload holds, read with the
# launcher's rules.
add_library(tulora_payloadinspect STATIC ${CMAKE_CURRENT_SOURCE_DIR}/payloadinspect/payload_report.cc)
target_link_libraries(tulora_payloadinspect PUBLIC tulora_payload tulora_imageinspect)

add_executable(tulora-payloadinspect ${CMAKE_CURRENT_SOURCE_DIR}/payloadinspect/main.cc)
target_link_libraries(tulora-payloadinspect PRIVATE tulora_payloadinspect)

tulora_test(payload_report_test ${CMAKE_CURRENT_SOURCE_DIR}/payloadinspect/payload_report_test.cc)
target_link_libraries(payload_report_test PRIVATE tulora_payloadinspect tulora_payload_writer
  GTest::gmock)
target_compile_definitions(payload_report_test PRIVATE TULORA_PROGRAM="${CMAKE_BINARY_DIR}/tulora")
add_dependencies(payload_report_test tulora_program)
