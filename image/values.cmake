# Shared value routines and the application's runtime calls.
#
# tulora_app_shared is the hosted build of every shared application source
# (image/, and the http/ and crawler/ units that add themselves to it); the
# program image collects the same files from TULORA_APP_SOURCES.
set(TULORA_VALUES_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/values.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/runtime_calls.cc)
foreach(src ${TULORA_VALUES_SOURCES})
  set_property(GLOBAL APPEND PROPERTY TULORA_APP_SOURCES ${src})
endforeach()
# The image's own memcpy/memset/memmove/memcmp: image build only.
set_property(GLOBAL APPEND PROPERTY TULORA_APP_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/freestanding.cc)

add_library(tulora_app_shared STATIC ${TULORA_VALUES_SOURCES})
target_include_directories(tulora_app_shared PUBLIC ${PROJECT_SOURCE_DIR})

foreach(unit values runtime_calls)
  tulora_test(${unit}_test ${CMAKE_CURRENT_SOURCE_DIR}/${unit}_test.cc)
  target_link_libraries(${unit}_test PRIVATE tulora_app_shared tulora_hosted_runtime)
endforeach()
