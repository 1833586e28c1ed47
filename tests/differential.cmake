# The differential wire test (differential/run.sh): the server the request
# driver talks to and the runner of an image on this build's kernel library
# (the driver's images: differential/images.cmake).
set(D ${CMAKE_CURRENT_SOURCE_DIR}/differential)
add_executable(tulora-wire-site ${D}/wire_site.cc)
target_link_libraries(tulora-wire-site PRIVATE tulora_testsite)

add_executable(tulora-run-image ${D}/run_image.cc)
target_link_libraries(tulora-run-image PRIVATE tulora_test_platform)
add_dependencies(tulora-run-image ostra VThread xtra request_driver_images tulora-wire-site)

# The whole comparison where this machine has the i686 build and 32-bit
# wine; elsewhere the Linux half alone, reported as skipped.
add_test(NAME DifferentialWireRequests
  COMMAND bash ${D}/run.sh ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR}/build-win32)
set_tests_properties(DifferentialWireRequests PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
