# The payload inspector: what an executable's payload holds, read with the
# launcher's rules.
add_library(tulora_payloadinspect STATIC ${CMAKE_CURRENT_SOURCE_DIR}/payloadinspect/payload_report.cc)
target_link_libraries(tulora_payloadinspect PUBLIC tulora_payload tulora_imageinspect)

add_executable(tulora-payloadinspect ${CMAKE_CURRENT_SOURCE_DIR}/payloadinspect/main.cc)
target_link_libraries(tulora-payloadinspect PRIVATE tulora_payloadinspect)
