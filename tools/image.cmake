# The image linker, the image inspector and the image build.
add_library(tulora_imagelink STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/imagelink/elf_object.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/imagelink/link_records.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/imagelink/image_linker.cc)
target_link_libraries(tulora_imagelink PUBLIC tulora_image_format)

add_executable(tulora-imagelink ${CMAKE_CURRENT_SOURCE_DIR}/imagelink/main.cc)
target_link_libraries(tulora-imagelink PRIVATE tulora_imagelink)

add_library(tulora_imageinspect STATIC ${CMAKE_CURRENT_SOURCE_DIR}/imageinspect/image_report.cc)
target_link_libraries(tulora_imageinspect PUBLIC tulora_image_format tulora_pefile)

add_executable(tulora-imageinspect ${CMAKE_CURRENT_SOURCE_DIR}/imageinspect/main.cc)
target_link_libraries(tulora-imageinspect PRIVATE tulora_imageinspect)

# --- The image build -------------------------------------------------------
# Application sources are compiled freestanding for x86-64 and i386, merged
# with `ld -r` and linked by tulora-imagelink. link_symbols.h is included
# ahead of every source so that the table macros name reserved symbols.
# No vectorising and no switch-to-table conversion: both put addresses into
# constant pools and tables, which const data cannot hold.
set(TULORA_IMAGE_CXX_FLAGS
  -std=c++20 -O2 -Wall -Wextra -ffreestanding -fno-pic -fno-pie -fno-exceptions -fno-rtti
  -fno-jump-tables -fno-asynchronous-unwind-tables -fno-stack-protector
  -fcf-protection=none -fstack-clash-protection -fno-threadsafe-statics
  -fno-tree-vectorize
  -DTULORA_IMAGE_BUILD=1 -I${PROJECT_SOURCE_DIR} -include image/link_symbols.h)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # clang has no such pass apart from jump tables, which are already off.
  list(APPEND TULORA_IMAGE_CXX_FLAGS -fno-tree-switch-conversion)
endif()
set(TULORA_IMAGE_FLAGS_x86_64 -m64 -mcmodel=small)
set(TULORA_IMAGE_FLAGS_i386 -m32)
set(TULORA_IMAGE_EMULATION_x86_64 elf_x86_64)
set(TULORA_IMAGE_EMULATION_i386 elf_i386)
if(CMAKE_LINKER)
  set(TULORA_IMAGE_LD ${CMAKE_LINKER})
else()
  find_program(TULORA_IMAGE_LD ld REQUIRED)
endif()

# tulora_image_object(ARCH arch OBJECT merged.o SOURCES ...)
# Adds the commands that compile SOURCES (plus the table records) for ARCH
# (x86_64 or i386) and merge them into OBJECT with `ld -r`.
function(tulora_image_object)
  cmake_parse_arguments(L "" "ARCH;OBJECT" "SOURCES" ${ARGN})
  get_filename_component(out_dir ${L_OBJECT} DIRECTORY)
  get_filename_component(stem ${L_OBJECT} NAME_WE)
  set(objects)
  foreach(src ${L_SOURCES} ${PROJECT_SOURCE_DIR}/image/link_tables.cc)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${src})
    string(REGEX REPLACE "[/.]" "_" rel ${rel})
    set(obj ${out_dir}/${stem}.parts/${rel}.o)
    add_custom_command(
      OUTPUT ${obj}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}/${stem}.parts
      COMMAND ${CMAKE_CXX_COMPILER} ${TULORA_IMAGE_CXX_FLAGS} ${TULORA_IMAGE_FLAGS_${L_ARCH}}
              -MD -MF ${obj}.d -c ${src} -o ${obj}
      DEPENDS ${src}
      DEPFILE ${obj}.d
      COMMENT "Compiling ${rel} for the ${L_ARCH} image"
      VERBATIM)
    list(APPEND objects ${obj})
  endforeach()
  add_custom_command(
    OUTPUT ${L_OBJECT}
    COMMAND ${TULORA_IMAGE_LD} -r -m ${TULORA_IMAGE_EMULATION_${L_ARCH}} ${objects} -o ${L_OBJECT}
    DEPENDS ${objects}
    COMMENT "Merging the ${L_ARCH} objects into ${L_OBJECT}"
    VERBATIM)
endfunction()

# tulora_link_image(ARCH arch OUTPUT image OBJECT merged.o SOURCES ...)
# As tulora_image_object, then links OUTPUT with tulora-imagelink. Commands
# go into the calling directory; make a target depend on OUTPUT.
function(tulora_link_image)
  cmake_parse_arguments(L "" "ARCH;OUTPUT;OBJECT" "SOURCES" ${ARGN})
  tulora_image_object(ARCH ${L_ARCH} OBJECT ${L_OBJECT} SOURCES ${L_SOURCES})
  add_custom_command(
    OUTPUT ${L_OUTPUT}
    COMMAND tulora-imagelink ${L_OBJECT} ${L_OUTPUT}
    DEPENDS ${L_OBJECT} tulora-imagelink
    COMMENT "Linking the ${L_ARCH} program image ${L_OUTPUT}"
    VERBATIM)
endfunction()

# The program images, from the application's source list.
include(${PROJECT_SOURCE_DIR}/cmake/app_sources.cmake)
set(image_outputs)
foreach(arch x86_64 i386)
  tulora_link_image(ARCH ${arch}
    OUTPUT ${CMAKE_BINARY_DIR}/image/tulora-${arch}.img
    OBJECT ${CMAKE_BINARY_DIR}/image/tulora-${arch}.o
    SOURCES ${TULORA_APP_SOURCES})
  list(APPEND image_outputs ${CMAKE_BINARY_DIR}/image/tulora-${arch}.img)
endforeach()
add_custom_target(tulora_image DEPENDS ${image_outputs})
# The image the launcher embeds (cmake/program.cmake).
set(TULORA_IMAGE_FILE ${CMAKE_BINARY_DIR}/image/tulora-x86_64.img CACHE INTERNAL
    "The x86-64 program image the launcher embeds")

include(${CMAKE_CURRENT_LIST_DIR}/imagelink/tests.cmake)
include(${PROJECT_SOURCE_DIR}/tests/differential/images.cmake)
