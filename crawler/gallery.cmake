# The crawl: folder names, the gallery download and the console dialogue.
set(TULORA_CRAWLER_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/folder_name.cc)
foreach(src ${TULORA_CRAWLER_SOURCES})
  set_property(GLOBAL APPEND PROPERTY TULORA_APP_SOURCES ${src})
endforeach()
target_sources(tulora_app_shared PRIVATE ${TULORA_CRAWLER_SOURCES})

tulora_test(folder_name_test ${CMAKE_CURRENT_SOURCE_DIR}/folder_name_test.cc)
target_link_libraries(folder_name_test PRIVATE tulora_app_shared tulora_hosted_runtime)
