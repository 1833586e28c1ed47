# The request driver of the differential wire test as program images of
# both architectures. Included from tools/image.cmake, where the image
# build's compiler flags are in scope.
set(D ${PROJECT_SOURCE_DIR}/tests/differential)
set(S ${PROJECT_SOURCE_DIR})
set(driver_outputs)
foreach(arch x86_64 i386)
  tulora_link_image(ARCH ${arch}
    OUTPUT ${CMAKE_BINARY_DIR}/image/request-driver-${arch}.img
    OBJECT ${CMAKE_BINARY_DIR}/image/request-driver-${arch}.o
    SOURCES ${S}/image/values.cc ${S}/image/runtime_calls.cc ${S}/image/freestanding.cc
            ${S}/image/system_calls.cc ${S}/http/url.cc ${S}/http/headers.cc ${S}/http/cookies.cc
            ${S}/http/object_calls.cc ${S}/http/wininet_request.cc ${S}/http/winhttp_request.cc
            ${D}/request_driver.cc)
  list(APPEND driver_outputs ${CMAKE_BINARY_DIR}/image/request-driver-${arch}.img)
endforeach()
add_custom_target(request_driver_images DEPENDS ${driver_outputs})

