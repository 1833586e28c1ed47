// Proxy lists as the platform's HTTP stacks take them.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_PROXY_LIST_H
#define TULORA_RUNTIME_LINUX_WINAPI_PROXY_LIST_H

#include <string>
#include <string_view>

namespace tulora::net {

// Picks the proxy server for a request from a proxy list: entries separated
// by spaces or semicolons, each either "host:port" (every scheme) or
// "scheme=host:port" (that scheme only, e.g. "http=p:8080" is used for http
// URLs and nothing else). An entry for the request's own scheme wins over a
// general one; among equals the first wins. Returns "host:port" (as written,
// a "http://" in front kept) or "" when the request goes direct.
std::string ProxyFor(std::string_view list, bool secure);

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_PROXY_LIST_H
