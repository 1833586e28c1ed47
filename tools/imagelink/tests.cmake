# Tests of the image linker and the inspector on real compiled objects: the
# test application linked for both architectures, and objects the linker
# must refuse (merged, never linked by the build).
set(IMAGELINK_TESTDATA ${CMAKE_CURRENT_LIST_DIR}/testdata)
set(IMAGELINK_OUT ${CMAKE_BINARY_DIR}/tools/imagelink-testdata CACHE INTERNAL
    "Where the image linker tests' objects are built")
set(imagelink_outputs)
foreach(arch x86_64 i386)
  tulora_link_image(ARCH ${arch}
    OUTPUT ${IMAGELINK_OUT}/app_main-${arch}.img
    OBJECT ${IMAGELINK_OUT}/app_main-${arch}.o
    SOURCES ${IMAGELINK_TESTDATA}/app_main.cc ${PROJECT_SOURCE_DIR}/image/freestanding.cc)
  list(APPEND imagelink_outputs ${IMAGELINK_OUT}/app_main-${arch}.img)
  foreach(refused refuse_data refuse_const_pointer refuse_tls refuse_ctor refuse_undefined
                  refuse_local_table)
    tulora_image_object(ARCH ${arch}
      OBJECT ${IMAGELINK_OUT}/${refused}-${arch}.o
      SOURCES ${IMAGELINK_TESTDATA}/${refused}.cc)
    list(APPEND imagelink_outputs ${IMAGELINK_OUT}/${refused}-${arch}.o)
  endforeach()
endforeach()
add_custom_target(imagelink_testdata DEPENDS ${imagelink_outputs})

tulora_fuzz(elf_object
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/elf_object_fuzz.cc
  LIBS tulora_imagelink
  SEED_SOURCES ${CMAKE_CURRENT_LIST_DIR}/elf_object_seeds.cc)
if(TARGET elf_object_seeds)
  target_compile_definitions(elf_object_seeds PRIVATE IMAGELINK_TESTDATA_DIR="${IMAGELINK_OUT}")
  add_dependencies(elf_object_seeds imagelink_testdata)
endif()
