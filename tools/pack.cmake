# The payload packer: appends a payload of files to an executable.
add_executable(tulora-pack ${CMAKE_CURRENT_SOURCE_DIR}/pack/pack_main.cc)
target_link_libraries(tulora-pack PRIVATE tulora_payload_writer)
