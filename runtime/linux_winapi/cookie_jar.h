// Cookies that responses set, kept for the requests that follow: the
// per-process store of the WinINet functions, and each request object's
// own (the object keeps its cookies across the legs of a redirect and
// across its calls, as a session of the platform does).
#ifndef TULORA_RUNTIME_LINUX_WINAPI_COOKIE_JAR_H
#define TULORA_RUNTIME_LINUX_WINAPI_COOKIE_JAR_H

#include <stdint.h>

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tulora::net {

// Host, path and scheme of an absolute http or https URL, as cookies see
// them: the host in lower case, the path without query or fragment.
struct CookieTarget {
  std::string host, path;
  bool secure = false;
};

// Splits `url`; false when it is not an absolute http or https URL.
bool ParseCookieTarget(std::string_view url, CookieTarget* out);

// Thread-safe. Domains are matched by their suffix without a list of
// public suffixes: a response may set a cookie for any domain that ends
// its host name, but never for another host or for an IP address's
// neighbours.
class CookieJar {
 public:
  // Takes the cookie of one Set-Cookie value that a response to `target`
  // carried. Refused: no name, a control byte, a Domain that does not
  // cover the host.
  // Max-Age 0 or less, or Expires in the past, removes the cookie instead.
  void Store(const CookieTarget& target, std::string_view setCookie);
  // "name=value; ..." of the cookies a request to `target` carries:
  // longest path first, then in the order they were first set; "" for none.
  std::string CookiesFor(const CookieTarget& target) const;
  void Clear();

 private:
  struct Cookie {
    std::string name, value, domain, path;
    bool hostOnly = true, secure = false;
    int64_t expires = 0;  // seconds since the epoch; 0: until the process ends
    uint64_t order = 0;
  };
  void RemoveExpired(int64_t now);  // with the lock held

  mutable std::mutex mutex_;
  std::vector<Cookie> cookies_;
  uint64_t next_order_ = 0;
};

// The per-process store of the WinINet functions; it lives as long as
// the process.
CookieJar& ProcessCookieJar();

// Empties the per-process store.
void ClearCookieStore();

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_COOKIE_JAR_H
