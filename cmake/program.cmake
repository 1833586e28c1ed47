# Assembles the program: the launcher executable with the program image
# embedded, and the launcher with the payload of runtime libraries
# appended: build/tulora on Linux, tulora.exe in the Windows builds.
if(WIN32)
  # The build tools and the program images come from the host build
  # (scripts/build-windows.sh brings it up to date first).
  set(TULORA_HOST_BUILD ${PROJECT_SOURCE_DIR}/build CACHE PATH
      "The host build that holds the build tools and the program images")
  foreach(tool tulora-pack tulora-peassemble)
    add_executable(${tool} IMPORTED)
    set_target_properties(${tool} PROPERTIES IMPORTED_LOCATION ${TULORA_HOST_BUILD}/tools/${tool})
  endforeach()
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(image_arch i386)
  else()
    set(image_arch x86_64)
  endif()
  set(TULORA_IMAGE_FILE ${TULORA_HOST_BUILD}/image/tulora-${image_arch}.img)

  # Version resource and manifest; no time stamp anywhere, so that two
  # builds of the same sources give the same bytes.
  enable_language(RC)
  set(L ${PROJECT_SOURCE_DIR}/launcher)
  set_source_files_properties(${L}/tulora.rc PROPERTIES OBJECT_DEPENDS ${L}/tulora.exe.manifest)
  add_executable(tulora-launcher ${L}/main_win32.cc ${L}/tulora.rc)
  target_include_directories(tulora-launcher PRIVATE ${L})
  target_link_libraries(tulora-launcher PRIVATE tulora_launcher_core)
  target_link_options(tulora-launcher PRIVATE -s)
  if(image_arch STREQUAL "i386")
    # Three sections, so that the image becomes the fourth.
    target_link_options(tulora-launcher PRIVATE -Wl,--disable-reloc-section
                        -Wl,-T,${L}/sections_i686.ld)
    set_target_properties(tulora-launcher PROPERTIES LINK_DEPENDS ${L}/sections_i686.ld)
  endif()
  set_target_properties(tulora-launcher PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/launcher)
  set(launcher_with_image ${CMAKE_BINARY_DIR}/launcher/tulora-launcher-image.exe)
  add_custom_command(
    OUTPUT ${launcher_with_image}
    COMMAND tulora-peassemble $<TARGET_FILE:tulora-launcher> ${TULORA_IMAGE_FILE}
            ${launcher_with_image}
    DEPENDS tulora-launcher ${TULORA_IMAGE_FILE} ${TULORA_HOST_BUILD}/tools/tulora-peassemble
    COMMENT "Appending the ${image_arch} program image as the launcher's last section")
  set(program_file ${CMAKE_BINARY_DIR}/tulora.exe)
  set(paced_program_file ${CMAKE_BINARY_DIR}/tests/paced/tulora-paced.exe)
  set(pack_tool_file ${TULORA_HOST_BUILD}/tools/tulora-pack)
else()
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
  set(launcher_with_image $<TARGET_FILE:tulora-launcher>)
  set(program_file ${CMAKE_BINARY_DIR}/tulora)
  set(paced_program_file ${CMAKE_BINARY_DIR}/tests/paced/tulora-paced)
  set(pack_tool_file tulora-pack)
endif()

# tulora_assemble(TARGET OUTPUT ID LIBRARY=TARGET...): OUTPUT is the
# launcher (with the image) and a payload of the runtime libraries, each
# pair naming a file of the payload and the target it is built from; the
# extraction directory is $TMPDIR/V_N<ID in hex>. The payload gets copies
# of the libraries without symbols and debug information, in every build
# type, so that it stays small and quick to inflate; the libraries as built
# stay beside their targets for debugging. The copies carry no time stamp
# (a Windows library's header would get the time of the copy).
if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "objcopy (binutils) is needed to strip the payload's libraries")
endif()
set(TULORA_PAYLOAD_KEY 0x5A3C96E1)
function(tulora_assemble target output id)
  get_filename_component(payload_dir ${output} DIRECTORY)
  set(payload_dir ${payload_dir}/payload)
  set(payload_args)
  set(payload_files)
  foreach(pair ${ARGN})
    string(REPLACE "=" ";" parts ${pair})
    list(GET parts 0 file_name)
    list(GET parts 1 library)
    add_custom_command(
      OUTPUT ${payload_dir}/${file_name}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${payload_dir}
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
              ${CMAKE_OBJCOPY} --strip-all $<TARGET_FILE:${library}> ${payload_dir}/${file_name}
      DEPENDS ${library}
      COMMENT "Stripping ${file_name} for the payload of ${target}")
    list(APPEND payload_args "${file_name}=${payload_dir}/${file_name}")
    list(APPEND payload_files ${payload_dir}/${file_name})
  endforeach()
  add_custom_command(
    OUTPUT ${output}
    COMMAND tulora-pack --launcher ${launcher_with_image} --output ${output}
            --id ${id} --key ${TULORA_PAYLOAD_KEY} ${payload_args}
    DEPENDS tulora-launcher ${launcher_with_image} ${pack_tool_file} ${payload_files}
    COMMENT "Appending the runtime payload: ${output}")
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

# The program: the extraction directory is $TMPDIR/V_N7D10A001.
set(TULORA_DIRECTORY_ID 0x7D10A001)
tulora_assemble(tulora_program ${program_file} ${TULORA_DIRECTORY_ID}
                "ostra.vlr=ostra" "VThread.vlr=VThread" "xtra.vlr=xtra")

# The paced program, which only the tests run: the same launcher, image and
# libraries, but for the xtra.vlr of tests/paced/ (pauses as the tests set
# them, and a pause log). Its own extraction directory, so that it never
# leaves its xtra.vlr where the program looks for its own.
set(TULORA_PACED_DIRECTORY_ID 0x7D10A0FE)
tulora_assemble(tulora_paced_program ${paced_program_file} ${TULORA_PACED_DIRECTORY_ID}
                "ostra.vlr=ostra" "VThread.vlr=VThread" "xtra.vlr=xtra_paced")
