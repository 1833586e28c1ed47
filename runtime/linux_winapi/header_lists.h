// The request's header lines as the transfer library takes them: one list
// for the server, one for the proxy, laid out leg by leg in the order of
// the platform function the transfer stands in for.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_HEADER_LISTS_H
#define TULORA_RUNTIME_LINUX_WINAPI_HEADER_LISTS_H

#include <curl/curl.h>

#include <string>

#include "runtime/linux_winapi/curl_transfer.h"
#include "runtime/linux_winapi/url_parts.h"

namespace tulora::net {

// One request of an exchange: the first as asked, each further one after
// a followed redirect.
struct Leg {
  int number = 1;
  std::string method;
  std::string url;
  UrlParts parts;             // of url
  std::string target;         // the request target, sent as it stands
  bool sendBody = false;      // the request's body goes with this leg
  bool hostChanged = false;   // a redirect led to another host or port
  std::string storedCookies;  // what the request's cookie jar gives this leg
};

struct HeaderLists {
  HeaderLists() = default;
  HeaderLists(const HeaderLists&) = delete;
  HeaderLists& operator=(const HeaderLists&) = delete;
  ~HeaderLists() { Clear(); }
  void Clear() {
    curl_slist_free_all(server);
    curl_slist_free_all(proxy);
    server = proxy = nullptr;
  }

  curl_slist* server = nullptr;
  curl_slist* proxy = nullptr;
};

// Fills `lists` with every header line of `leg`, the order set by
// `r.style` (see TransferRequest), and blanks every line the library would
// add of its own. A "Proxy-Authorization" line goes to the proxy list when
// `via_proxy`.
void BuildHeaders(const TransferRequest& r, const Leg& leg, bool via_proxy, HeaderLists* lists);

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_HEADER_LISTS_H
