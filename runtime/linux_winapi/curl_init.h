// The transfer library's process-wide start-up, done once before the first
// handle of any kind is made.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_CURL_INIT_H
#define TULORA_RUNTIME_LINUX_WINAPI_CURL_INIT_H

namespace tulora::net {

// Starts the library on the first call; later calls return at once. Safe
// from any thread.
void InitCurl();

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_CURL_INIT_H
