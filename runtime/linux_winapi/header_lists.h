// The request's header lines as the transfer library takes them: one list
// for the server, one for the proxy.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_HEADER_LISTS_H
#define TULORA_RUNTIME_LINUX_WINAPI_HEADER_LISTS_H

#include <curl/curl.h>

#include "runtime/linux_winapi/curl_transfer.h"

namespace tulora::net {

struct HeaderLists {
  HeaderLists() = default;
  HeaderLists(const HeaderLists&) = delete;
  HeaderLists& operator=(const HeaderLists&) = delete;
  ~HeaderLists() {
    curl_slist_free_all(server);
    curl_slist_free_all(proxy);
  }

  curl_slist* server = nullptr;
  curl_slist* proxy = nullptr;
};

// Fills `lists` with the header lines of `r` as PerformTransfer states,
// and blanks the lines the library would add of its own: Accept (unless
// `r.defaultAccept` or a line of `r` names it), Expect, and Content-Type
// for a body without one. A "Proxy-Authorization" line goes to the proxy
// list when `via_proxy`.
void BuildHeaders(const TransferRequest& r, bool via_proxy, HeaderLists* lists);

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_HEADER_LISTS_H
