# The crawl: folder names, the gallery download, and the site base URLs.

# The gallery site and the picture host: scheme and host, optional port, no
# trailing slash. The default points at the local demo site (demosite/).
set(TULORA_GALLERY_URL "https://127.0.0.1:48443" CACHE STRING "Base URL of the gallery site")
set(TULORA_PICTURE_URL "https://127.0.0.1:48444" CACHE STRING "Base URL of the picture host")
foreach(url TULORA_GALLERY_URL TULORA_PICTURE_URL)
  if(NOT ${url} MATCHES "^https?://[^/]+$")
    message(FATAL_ERROR "${url} must be a scheme and host with an optional port, no path: ${${url}}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/site_urls.cc.in
               ${CMAKE_BINARY_DIR}/generated/crawler/site_urls.cc @ONLY)
# For scripts: the URLs the program was built with.
file(WRITE ${CMAKE_BINARY_DIR}/site.env
     "TULORA_GALLERY_URL=${TULORA_GALLERY_URL}\nTULORA_PICTURE_URL=${TULORA_PICTURE_URL}\n")

set(TULORA_CRAWLER_SHARED_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/folder_name.cc)
set(TULORA_CRAWLER_SOURCES
  ${CMAKE_CURRENT_SOURCE_DIR}/crawl.cc
  ${CMAKE_BINARY_DIR}/generated/crawler/site_urls.cc)
foreach(src ${TULORA_CRAWLER_SHARED_SOURCES} ${TULORA_CRAWLER_SOURCES})
  set_property(GLOBAL APPEND PROPERTY TULORA_APP_SOURCES ${src})
endforeach()
target_sources(tulora_app_shared PRIVATE ${TULORA_CRAWLER_SHARED_SOURCES})

# Hosted: the dialogue and the crawl, for tests that bring a runtime.
add_library(tulora_app_crawler STATIC ${TULORA_CRAWLER_SOURCES}
  ${CMAKE_CURRENT_SOURCE_DIR}/console_main.cc)
target_link_libraries(tulora_app_crawler PUBLIC tulora_app_entry tulora_app_shared)

tulora_test(folder_name_test ${CMAKE_CURRENT_SOURCE_DIR}/folder_name_test.cc)
target_link_libraries(folder_name_test PRIVATE tulora_app_shared tulora_hosted_runtime)

# The crawl's readers of response header blocks, and what a hostile site
# controls: page bodies, titles and header blocks.
tulora_test(crawl_test ${CMAKE_CURRENT_SOURCE_DIR}/crawl_test.cc)
target_link_libraries(crawl_test PRIVATE tulora_app_crawler tulora_hosted_runtime)
tulora_fuzz(crawler_texts
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/texts_fuzz.cc
  LIBS tulora_app_crawler tulora_hosted_runtime
  SEED_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/texts_fuzz_seeds.cc)
