# Assembles the program: the launcher executable with the program image
# embedded, and build/tulora, the launcher with the payload of runtime
# libraries appended.
enable_language(ASM)

# TULORA_IMAGE_FILE and tulora_image: tools/image.cmake.
set_source_files_properties(${PROJECT_SOURCE_DIR}/launcher/program_image.S PROPERTIES
  COMPILE_DEFINITIONS "TULORA_IMAGE_PATH=\"${TULORA_IMAGE_FILE}\""
  OBJECT_DEPENDS ${TULORA_IMAGE_FILE})
add_executable(tulora-launcher ${PROJECT_SOURCE_DIR}/launcher/main_posix.cc
                               ${PROJECT_SOURCE_DIR}/launcher/program_image.S)
target_link_libraries(tulora-launcher PRIVATE tulora_launcher_core)
# The C++ library is linked in: the launcher then loads nothing but the C
# library before it reaches the kernel library, which saves its start the
# relocation of a large shared library.
target_link_options(tulora-launcher PRIVATE -static-libstdc++ -static-libgcc)
set_target_properties(tulora-launcher PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/launcher)
add_dependencies(tulora-launcher tulora_image)

# The runtime libraries the payload carries, as file-name=target pairs. The
# payload gets copies without symbols and debug information, in every build
# type, so that it stays small and quick to inflate; the libraries as built
# stay beside their targets for debugging.
if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "objcopy (binutils) is needed to strip the payload's libraries")
endif()
set(payload_targets "ostra.vlr=ostra" "VThread.vlr=VThread" "xtra.vlr=xtra")
set(payload_dir ${CMAKE_BINARY_DIR}/payload)
set(payload_args)
set(payload_files)
foreach(pair ${payload_targets})
  string(REPLACE "=" ";" parts ${pair})
  list(GET parts 0 file_name)
  list(GET parts 1 target)
  add_custom_command(
    OUTPUT ${payload_dir}/${file_name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${payload_dir}
    COMMAND ${CMAKE_OBJCOPY} --strip-all $<TARGET_FILE:${target}> ${payload_dir}/${file_name}
    DEPENDS ${target}
    COMMENT "Stripping ${file_name} for the payload")
  list(APPEND payload_args "${file_name}=${payload_dir}/${file_name}")
  list(APPEND payload_files ${payload_dir}/${file_name})
endforeach()

# Fixed id and key: the extraction directory is $TMPDIR/V_N<id in hex>.
set(TULORA_DIRECTORY_ID 0x7D10A001)
set(TULORA_PAYLOAD_KEY 0x5A3C96E1)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/tulora
  COMMAND tulora-pack --launcher $<TARGET_FILE:tulora-launcher>
          --output ${CMAKE_BINARY_DIR}/tulora
          --id ${TULORA_DIRECTORY_ID} --key ${TULORA_PAYLOAD_KEY} ${payload_args}
  DEPENDS tulora-launcher tulora-pack ${payload_files}
  COMMENT "Appending the runtime payload: build/tulora")
add_custom_target(tulora_program ALL DEPENDS ${CMAKE_BINARY_DIR}/tulora)
