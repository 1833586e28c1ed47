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
