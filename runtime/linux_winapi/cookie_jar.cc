#include "runtime/linux_winapi/cookie_jar.h"

#include <curl/curl.h>
#include <stdlib.h>
#include <strings.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <vector>

#include "runtime/linux_winapi/public_suffix.h"
#include "runtime/linux_winapi/url_parts.h"

namespace tulora::net {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool IsAddress(const std::string& host) {
  return host.find_first_not_of("0123456789.") == std::string::npos || host[0] == '[';
}

// The host is the domain, or a name under it (never an IP address).
bool DomainMatches(const std::string& host, const std::string& domain) {
  if (host == domain) return true;
  return !IsAddress(host) && host.size() > domain.size() &&
         host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
         host[host.size() - domain.size() - 1] == '.';
}

bool PathMatches(const std::string& requestPath, const std::string& cookiePath) {
  if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
  return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' ||
         requestPath[cookiePath.size()] == '/';
}

// The folder of the request path: up to its last "/", "/" at least.
std::string DefaultPath(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

// A control byte in a name or value would end up in a later request's
// Cookie line: such a cookie is refused, as browsers do.
bool HasControlByte(std::string_view s) {
  for (unsigned char c : s) {
    if ((c < 0x20 && c != '\t') || c == 0x7f) return true;
  }
  return false;
}

// Max-Age as RFC 6265 (5.2.2) reads it: an optional "-", then digits only;
// false for anything else, which leaves the attribute out. A number too
// large for 64 bits saturates.
bool ParseMaxAge(const std::string& text, int64_t* seconds) {
  size_t at = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (text.empty() || text.find_first_not_of("0123456789", at) != std::string::npos) return false;
  int64_t value = 0;
  for (size_t i = at; i < text.size(); ++i) {
    const int digit = text[i] - '0';
    value = value > (INT64_MAX - digit) / 10 ? INT64_MAX : value * 10 + digit;
  }
  *seconds = at == 1 ? -value : value;
  return true;
}

int64_t Now() { return static_cast<int64_t>(time(nullptr)); }

// What one Set-Cookie value says, before the jar's rules.
struct SetCookie {
  std::string name, value, domain, path;
  bool hasDomain = false, secure = false, hasLifetime = false;
  int64_t lifetime = 0;  // seconds from now, when hasLifetime; 0 or less: expired
};

bool ParseSetCookie(std::string_view text, SetCookie* out) {
  size_t semicolon = text.find(';');
  std::string_view pair = text.substr(0, semicolon);
  size_t equals = pair.find('=');
  if (equals == std::string_view::npos || HasControlByte(text)) return false;
  out->name = Trim(pair.substr(0, equals));
  out->value = Trim(pair.substr(equals + 1));
  if (out->name.empty() || out->name.size() + out->value.size() > CookieJar::kMaxCookieBytes) {
    return false;
  }
  bool maxAge = false;
  const int64_t now = Now();
  while (semicolon != std::string_view::npos) {
    text.remove_prefix(semicolon + 1);
    semicolon = text.find(';');
    std::string_view attribute = text.substr(0, semicolon);
    size_t eq = attribute.find('=');
    std::string key = Lower(Trim(attribute.substr(0, eq)));
    std::string value(eq == std::string_view::npos ? "" : Trim(attribute.substr(eq + 1)));
    if (key == "domain" && !value.empty()) {
      out->domain = Lower(value[0] == '.' ? value.substr(1) : value);
      out->hasDomain = !out->domain.empty();
    } else if (key == "path" && !value.empty() && value[0] == '/') {
      out->path = value;
    } else if (key == "secure") {
      out->secure = true;
    } else if (key == "max-age" && ParseMaxAge(value, &out->lifetime)) {
      maxAge = out->hasLifetime = true;
    } else if (key == "expires" && !maxAge) {
      time_t when = curl_getdate(value.c_str(), nullptr);
      if (when != -1) {
        out->hasLifetime = true;
        out->lifetime = static_cast<int64_t>(when) - now;
        if (out->lifetime == 0) out->lifetime = -1;  // this very second: already past
      }
    }
  }
  return true;
}

// The domain the cookie goes to and whether it is host-only; false when
// the cookie may not be set from `host`.
bool SettleDomain(const SetCookie& set, const std::string& host, std::string* domain,
                  bool* hostOnly) {
  *domain = host;
  *hostOnly = true;
  if (!set.hasDomain) return true;
  // An address, or a public suffix, may name only itself: host-only then.
  if (IsAddress(host) || IsPublicSuffix(set.domain)) return set.domain == host;
  if (!DomainMatches(host, set.domain)) return false;
  *domain = set.domain;
  *hostOnly = false;
  return true;
}

}  // namespace

bool ParseCookieTarget(std::string_view url, CookieTarget* out) {
  UrlParts parts;
  if (!SplitUrl(url, &parts)) return false;
  out->host = Lower(parts.host);
  out->path = parts.target.substr(0, parts.target.find('?'));
  out->secure = parts.secure;
  return true;
}

std::string CookieJar::KeyOf(const Cookie& c) {
  std::string key = c.name;
  key.append(1, '\0').append(c.domain).append(1, '\0').append(c.path);
  return key;
}

void CookieJar::Store(const CookieTarget& target, std::string_view setCookie) {
  SetCookie set;
  Cookie c;
  if (!ParseSetCookie(setCookie, &set) ||
      !SettleDomain(set, target.host, &c.domain, &c.hostOnly)) {
    return;
  }
  if (set.secure && !target.secure) return;  // only a secure answer sets a Secure cookie
  c.name = std::move(set.name);
  c.value = std::move(set.value);
  c.path = set.path.empty() ? DefaultPath(target.path) : set.path;
  c.secure = set.secure;
  const int64_t now = Now();
  const bool expired = set.hasLifetime && set.lifetime <= 0;
  if (set.hasLifetime && !expired) c.expires = now + std::min(set.lifetime, kMaxLifetimeSeconds);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!target.secure && ShadowedBySecure(c)) return;
  auto same = byKey_.find(KeyOf(c));
  if (expired) {
    if (same != byKey_.end()) Erase(same->second);
    return;
  }
  if (same != byKey_.end()) {
    c.order = same->second->order;  // a new value keeps the cookie's place
    *same->second = std::move(c);
    return;
  }
  const std::string domain = c.domain;
  Insert(std::move(c));
  KeepLimits(domain, now);
}

// An http answer may not overwrite (nor shadow) a Secure cookie of the same
// name whose domain and path overlap the new one's.
bool CookieJar::ShadowedBySecure(const Cookie& c) const {
  for (const Cookie& old : cookies_) {
    if (old.secure && old.name == c.name &&
        (DomainMatches(old.domain, c.domain) || DomainMatches(c.domain, old.domain)) &&
        PathMatches(c.path, old.path)) {
      return true;
    }
  }
  return false;
}

void CookieJar::Insert(Cookie c) {
  c.order = next_order_++;
  ++perDomain_[c.domain];
  const std::string key = KeyOf(c);
  cookies_.push_back(std::move(c));
  byKey_[key] = std::prev(cookies_.end());
}

void CookieJar::Erase(Entry entry) {
  auto count = perDomain_.find(entry->domain);
  if (count != perDomain_.end() && --count->second == 0) perDomain_.erase(count);
  byKey_.erase(KeyOf(*entry));
  cookies_.erase(entry);
}

void CookieJar::RemoveExpired(int64_t now) {
  for (auto it = cookies_.begin(); it != cookies_.end();) {
    auto next = std::next(it);
    if (it->expires != 0 && it->expires <= now) Erase(it);
    it = next;
  }
}

// After a cookie of `domain` came in: expired cookies go first, then the
// domain's oldest, then the jar's oldest, until both limits hold.
void CookieJar::KeepLimits(const std::string& domain, int64_t now) {
  auto over = [&] { return perDomain_[domain] > kMaxPerDomain || cookies_.size() > kMaxCookies; };
  if (!over()) return;
  RemoveExpired(now);
  while (perDomain_[domain] > kMaxPerDomain) {
    auto oldest = std::find_if(cookies_.begin(), cookies_.end(),
                               [&domain](const Cookie& c) { return c.domain == domain; });
    Erase(oldest);
  }
  while (cookies_.size() > kMaxCookies) Erase(cookies_.begin());
  if (perDomain_[domain] == 0) perDomain_.erase(domain);
}

std::string CookieJar::CookiesFor(const CookieTarget& target) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const int64_t now = Now();
  std::vector<const Cookie*> chosen;
  for (const Cookie& c : cookies_) {
    if (c.expires != 0 && c.expires <= now) continue;
    bool host = c.hostOnly ? target.host == c.domain : DomainMatches(target.host, c.domain);
    if (host && PathMatches(target.path, c.path) && (!c.secure || target.secure)) {
      chosen.push_back(&c);
    }
  }
  std::stable_sort(chosen.begin(), chosen.end(), [](const Cookie* a, const Cookie* b) {
    return a->path.size() != b->path.size() ? a->path.size() > b->path.size() : a->order < b->order;
  });
  std::string text;
  for (const Cookie* c : chosen) {
    if (!text.empty()) text += "; ";
    text += c->name + "=" + c->value;
  }
  return text;
}

void CookieJar::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  cookies_.clear();
  byKey_.clear();
  perDomain_.clear();
}

size_t CookieJar::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cookies_.size();
}

CookieJar& ProcessCookieJar() {
  static CookieJar* jar = new CookieJar;  // never destroyed: threads may outlive main
  return *jar;
}

void ClearCookieStore() { ProcessCookieJar().Clear(); }

}  // namespace tulora::net
