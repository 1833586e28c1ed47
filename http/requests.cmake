# The two request routines and the object calls they use: part of
# tulora_app_shared.
set(TULORA_HTTP_REQUEST_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/object_calls.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/wininet_request.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/winhttp_request.cc)
foreach(src ${TULORA_HTTP_REQUEST_SOURCES})
  set_property(GLOBAL APPEND PROPERTY TULORA_APP_SOURCES ${src})
endforeach()
target_sources(tulora_app_shared PRIVATE ${TULORA_HTTP_REQUEST_SOURCES})

# The routines on the wire: in process through the kernel's service table,
# against the local test site (and tinyproxy for proxy authorisation).
if(TARGET tulora_net AND TARGET tulora_runtime_core)
  tulora_test(requests_test
    ${CMAKE_CURRENT_SOURCE_DIR}/requests_test.cc
    ${PROJECT_SOURCE_DIR}/runtime/linux_winapi/net_test_support.cc)
  target_link_libraries(requests_test PRIVATE tulora_app_shared tulora_runtime_core
    tulora_testsite GTest::gmock)
endif()
