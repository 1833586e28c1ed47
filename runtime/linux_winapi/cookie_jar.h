// Cookies that responses set, kept for the requests that follow: the
// per-process store of the WinINet functions, and each request object's
// own (the object keeps its cookies across the legs of a redirect and
// across its calls, as a session of the platform does).
#ifndef TULORA_RUNTIME_LINUX_WINAPI_COOKIE_JAR_H
#define TULORA_RUNTIME_LINUX_WINAPI_COOKIE_JAR_H

#include <stddef.h>
#include <stdint.h>

#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tulora::net {

// Host, path and scheme of an absolute http or https URL, as cookies see
// them: the host in lower case, the path without query or fragment.
struct CookieTarget {
  std::string host, path;
  bool secure = false;
};

// Splits `url`; false when it is not an absolute http or https URL.
bool ParseCookieTarget(std::string_view url, CookieTarget* out);

// Thread-safe. What a response may set follows RFC 6265 (section 5.3) with
// the rules of its successor draft that browsers keep:
// - refused: no name, a control byte, a name and value of more than
//   kMaxCookieBytes together, a Domain that does not cover the host, a
//   Domain that is a public suffix (public_suffix.h) other than the host
//   itself, a Domain on a host that is an IP address other than the
//   address itself; such a Domain equal to the host makes the cookie
//   host-only;
// - refused from an http answer: a Secure cookie, and one whose name a
//   Secure cookie of an overlapping domain and path already has;
// - Max-Age: digits with an optional "-", anything else leaves the
//   attribute out; 0 or less removes the cookie; Max-Age and Expires reach
//   at most kMaxLifetimeSeconds ahead.
// The jar keeps at most kMaxPerDomain cookies a domain and kMaxCookies in
// all: past either, expired cookies go first, then the oldest (the first
// set) of the domain, or of all. Storing a cookie costs a hash lookup (and,
// at the limits, one pass over the jar), so a flood of cookies stays linear.
class CookieJar {
 public:
  static constexpr size_t kMaxCookieBytes = 4096;
  static constexpr size_t kMaxPerDomain = 50;
  static constexpr size_t kMaxCookies = 3000;
  static constexpr int64_t kMaxLifetimeSeconds = 400LL * 24 * 3600;

  // Takes the cookie of one Set-Cookie value that a response to `target`
  // carried, or removes the one it expires.
  void Store(const CookieTarget& target, std::string_view setCookie);
  // "name=value; ..." of the cookies a request to `target` carries:
  // longest path first, then in the order they were first set; "" for none.
  std::string CookiesFor(const CookieTarget& target) const;
  void Clear();
  size_t size() const;

 private:
  struct Cookie {
    std::string name, value, domain, path;
    bool hostOnly = true, secure = false;
    int64_t expires = 0;  // seconds since the epoch; 0: until the process ends
    uint64_t order = 0;
  };
  using Entry = std::list<Cookie>::iterator;
  static std::string KeyOf(const Cookie& c);

  // With the lock held.
  bool ShadowedBySecure(const Cookie& c) const;
  void Insert(Cookie c);
  void Erase(Entry entry);
  void RemoveExpired(int64_t now);
  void KeepLimits(const std::string& domain, int64_t now);

  mutable std::mutex mutex_;
  std::list<Cookie> cookies_;  // the order they were first set in
  std::unordered_map<std::string, Entry> byKey_;  // name, domain and path
  std::unordered_map<std::string, size_t> perDomain_;
  uint64_t next_order_ = 0;
};

// The per-process store of the WinINet functions; it lives as long as
// the process.
CookieJar& ProcessCookieJar();

// Empties the per-process store.
void ClearCookieStore();

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_COOKIE_JAR_H
