# Tests of the image linker and the inspector on real compiled objects.
set(IMAGELINK_TESTDATA ${CMAKE_CURRENT_LIST_DIR}/testdata)
set(IMAGELINK_OUT ${CMAKE_BINARY_DIR}/tools/imagelink-testdata)
set(imagelink_test_objects)
foreach(app app_main)
  foreach(arch x86_64 i386)
    tulora_link_image(ARCH ${arch}
      OUTPUT ${IMAGELINK_OUT}/${app}-${arch}.img
      OBJECT ${IMAGELINK_OUT}/${app}-${arch}.o
      SOURCES ${IMAGELINK_TESTDATA}/${app}.cc ${PROJECT_SOURCE_DIR}/image/freestanding.cc)
    list(APPEND imagelink_test_objects ${IMAGELINK_OUT}/${app}-${arch}.img)
  endforeach()
endforeach()
add_custom_target(imagelink_testdata DEPENDS ${imagelink_test_objects})
