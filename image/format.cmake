# The program image format: records, bounds-checked reader and writer.
# Hosted: used by the image linker, the inspector and the runtime's loader.
add_library(tulora_image_format STATIC ${CMAKE_CURRENT_SOURCE_DIR}/image_format.cc)
target_include_directories(tulora_image_format PUBLIC ${PROJECT_SOURCE_DIR})

# A complete small image for tests and fuzz seeds.
add_library(tulora_image_sample STATIC ${CMAKE_CURRENT_SOURCE_DIR}/image_sample.cc)
target_link_libraries(tulora_image_sample PUBLIC tulora_image_format)

tulora_test(image_format_test ${CMAKE_CURRENT_SOURCE_DIR}/image_format_test.cc)
target_link_libraries(image_format_test PRIVATE tulora_image_sample)

tulora_fuzz(image_format
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/image_format_fuzz.cc
  LIBS tulora_image_sample
  SEED_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/image_format_seeds.cc)
