# The application's freestanding sources, named once. tools/image.cmake
# compiles TULORA_APP_SOURCES into the program images, in this order (the
# order of the objects in the image); crawler/CMakeLists.txt compiles
# TULORA_APP_HOSTED_SOURCES into tulora_app, the hosted library the tests
# link. site_urls.cc is written by crawler/CMakeLists.txt.
set(TULORA_APP_SOURCES
  ${PROJECT_SOURCE_DIR}/image/values.cc
  ${PROJECT_SOURCE_DIR}/image/runtime_calls.cc
  ${PROJECT_SOURCE_DIR}/image/freestanding.cc
  ${PROJECT_SOURCE_DIR}/http/url.cc
  ${PROJECT_SOURCE_DIR}/http/headers.cc
  ${PROJECT_SOURCE_DIR}/http/cookies.cc
  ${PROJECT_SOURCE_DIR}/http/object_calls.cc
  ${PROJECT_SOURCE_DIR}/http/wininet_request.cc
  ${PROJECT_SOURCE_DIR}/http/winhttp_request.cc
  ${PROJECT_SOURCE_DIR}/crawler/reencode.cc
  ${PROJECT_SOURCE_DIR}/image/system_calls.cc
  ${PROJECT_SOURCE_DIR}/crawler/program_values.cc
  ${PROJECT_SOURCE_DIR}/crawler/entry.cc
  ${PROJECT_SOURCE_DIR}/crawler/console_main.cc
  ${PROJECT_SOURCE_DIR}/crawler/folder_name.cc
  ${PROJECT_SOURCE_DIR}/crawler/crawl.cc
  ${CMAKE_BINARY_DIR}/generated/crawler/site_urls.cc)

# freestanding.cc holds the image's own memcpy, memset, memmove and memcmp;
# hosted builds take the C library's.
set(TULORA_APP_HOSTED_SOURCES ${TULORA_APP_SOURCES})
list(REMOVE_ITEM TULORA_APP_HOSTED_SOURCES ${PROJECT_SOURCE_DIR}/image/freestanding.cc)
