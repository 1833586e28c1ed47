# URL splitting, header texts and cookies: part of tulora_app_shared.
set(TULORA_HTTP_SHARED_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/url.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/headers.cc
  ${CMAKE_CURRENT_SOURCE_DIR}/cookies.cc)
foreach(src ${TULORA_HTTP_SHARED_SOURCES})
  set_property(GLOBAL APPEND PROPERTY TULORA_APP_SOURCES ${src})
endforeach()
target_sources(tulora_app_shared PRIVATE ${TULORA_HTTP_SHARED_SOURCES})

foreach(unit url headers cookies)
  tulora_test(${unit}_test ${CMAKE_CURRENT_SOURCE_DIR}/${unit}_test.cc)
  target_link_libraries(${unit}_test PRIVATE tulora_app_shared tulora_hosted_runtime)
endforeach()

tulora_fuzz(http_texts
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/texts_fuzz.cc
  LIBS tulora_app_shared tulora_hosted_runtime
  SEED_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/texts_fuzz_seeds.cc)
