# The Linux HTTP back-ends: the WinINet functions and the WinHttp request
# object over libcurl (their tests: tests/worlds.cmake).
if(NOT WIN32)
  find_package(CURL REQUIRED)
  find_package(OpenSSL REQUIRED)
  set(_net ${CMAKE_CURRENT_LIST_DIR})

  add_library(tulora_net STATIC
    ${_net}/linux_winapi/body_buffer.cc
    ${_net}/linux_winapi/proxy_list.cc
    ${_net}/linux_winapi/curl_init.cc
    ${_net}/linux_winapi/cookie_share.cc
    ${_net}/linux_winapi/trust_store.cc
    ${_net}/linux_winapi/header_lists.cc
    ${_net}/linux_winapi/reception.cc
    ${_net}/linux_winapi/curl_transfer.cc
    ${_net}/linux_winapi/wininet.cc
    ${_net}/linux_winapi/winhttp.cc)
  target_include_directories(tulora_net PUBLIC ${_net}/..)
  target_link_libraries(tulora_net PUBLIC tulora_memory CURL::libcurl OpenSSL::SSL OpenSSL::Crypto)

  tulora_fuzz(transfer
    SOURCES ${_net}/linux_winapi/transfer_fuzz.cc
    LIBS tulora_net
    SEED_SOURCES ${_net}/linux_winapi/transfer_seeds.cc)
endif()
