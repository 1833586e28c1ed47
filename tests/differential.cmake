# The differential wire test (differential/run.sh): the server the request
# driver talks to and the runner of an image on this build's kernel library
# (the driver's images: differential/images.cmake).
set(D ${CMAKE_CURRENT_SOURCE_DIR}/differential)
add_executable(tulora-wire-site ${D}/wire_site.cc)
target_link_libraries(tulora-wire-site PRIVATE tulora_testsite)

add_executable(tulora-run-image ${D}/run_image.cc)
target_link_libraries(tulora-run-image PRIVATE tulora_test_platform)
add_dependencies(tulora-run-image ostra VThread xtra request_driver_images tulora-wire-site)
