# The Linux HTTP back-ends: the WinINet functions and the WinHttp request
# object over libcurl (their tests: tests/worlds.cmake).
if(NOT WIN32)
  find_package(CURL REQUIRED)
  find_package(OpenSSL REQUIRED)
  find_library(PSL_LIBRARY NAMES psl REQUIRED)
  find_path(PSL_INCLUDE_DIR libpsl.h REQUIRED)
  set(_net ${CMAKE_CURRENT_LIST_DIR})

  add_library(tulora_net STATIC
    ${_net}/linux_winapi/body_buffer.cc
    ${_net}/linux_winapi/proxy_list.cc
    ${_net}/linux_winapi/lazy_libraries.cc
    ${_net}/linux_winapi/curl_init.cc
    ${_net}/linux_winapi/url_parts.cc
    ${_net}/linux_winapi/public_suffix.cc
    ${_net}/linux_winapi/cookie_jar.cc
    ${_net}/linux_winapi/trust_store.cc
    ${_net}/linux_winapi/header_lists.cc
    ${_net}/linux_winapi/reception.cc
    ${_net}/linux_winapi/curl_transfer.cc
    ${_net}/linux_winapi/wininet.cc
    ${_net}/linux_winapi/winhttp.cc)
  target_include_directories(tulora_net PUBLIC ${_net}/..)
  # The transfer, TLS and public suffix libraries are loaded on first use
  # (linux_winapi/lazy_libraries.h), by the names they are known under at
  # run time: the file name up to the major version (libcurl.so.4.8.0 is
  # known as libcurl.so.4).
  foreach(lib CURL:${CURL_LIBRARIES} SSL:${OPENSSL_SSL_LIBRARY} PSL:${PSL_LIBRARY})
    string(REGEX REPLACE ":.*" "" _name "${lib}")
    string(REGEX REPLACE "^[A-Z]+:" "" _file "${lib}")
    get_filename_component(_file "${_file}" REALPATH)
    get_filename_component(_file "${_file}" NAME)
    string(REGEX MATCH "^lib[^.]+\\.so\\.[0-9]+" _soname "${_file}")
    if(NOT _soname)
      message(FATAL_ERROR "cannot tell the run-time name of ${lib}")
    endif()
    target_compile_definitions(tulora_net PRIVATE TULORA_${_name}_SONAME="${_soname}")
  endforeach()
  target_include_directories(tulora_net PUBLIC ${CURL_INCLUDE_DIRS})
  target_include_directories(tulora_net PUBLIC ${OPENSSL_INCLUDE_DIR} ${PSL_INCLUDE_DIR})
  target_link_libraries(tulora_net PUBLIC tulora_memory ${CMAKE_DL_LIBS})

  tulora_fuzz(transfer
    SOURCES ${_net}/linux_winapi/transfer_fuzz.cc
    LIBS tulora_net
    SEED_SOURCES ${_net}/linux_winapi/transfer_seeds.cc)
endif()
