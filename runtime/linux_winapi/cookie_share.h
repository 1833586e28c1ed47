// The per-process cookie store: one curl share handle that every transfer
// asking for cookies uses, so that what one response sets the next request
// sends.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_COOKIE_SHARE_H
#define TULORA_RUNTIME_LINUX_WINAPI_COOKIE_SHARE_H

#include <curl/curl.h>

namespace tulora::net {

// The share handle, made on first use; it lives as long as the process.
CURLSH* CookieShare();

// Empties the per-process cookie store.
void ClearCookieStore();

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_COOKIE_SHARE_H
