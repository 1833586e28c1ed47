#include "runtime/linux_winapi/cookie_jar.h"

#include <curl/curl.h>
#include <stdlib.h>
#include <strings.h>
#include <time.h>

#include <algorithm>
#include <cctype>

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

int64_t Now() { return static_cast<int64_t>(time(nullptr)); }

}  // namespace

bool ParseCookieTarget(std::string_view url, CookieTarget* out) {
  UrlParts parts;
  if (!SplitUrl(url, &parts)) return false;
  out->host = Lower(parts.host);
  out->path = parts.target.substr(0, parts.target.find('?'));
  out->secure = parts.secure;
  return true;
}

void CookieJar::Store(const CookieTarget& target, std::string_view setCookie) {
  Cookie c;
  c.domain = target.host;
  c.path = DefaultPath(target.path);
  size_t semicolon = setCookie.find(';');
  std::string_view pair = setCookie.substr(0, semicolon);
  size_t equals = pair.find('=');
  if (equals == std::string_view::npos) return;
  c.name = Trim(pair.substr(0, equals));
  c.value = Trim(pair.substr(equals + 1));
  if (c.name.empty() || HasControlByte(setCookie)) return;
  bool expired = false;
  bool maxAge = false;
  while (semicolon != std::string_view::npos) {
    setCookie.remove_prefix(semicolon + 1);
    semicolon = setCookie.find(';');
    std::string_view attribute = setCookie.substr(0, semicolon);
    size_t eq = attribute.find('=');
    std::string key = Lower(Trim(attribute.substr(0, eq)));
    std::string value(eq == std::string_view::npos ? "" : Trim(attribute.substr(eq + 1)));
    if (key == "domain" && !value.empty()) {
      std::string domain = Lower(value[0] == '.' ? value.substr(1) : value);
      if (!DomainMatches(target.host, domain)) return;
      c.domain = domain;
      c.hostOnly = false;
    } else if (key == "path" && !value.empty() && value[0] == '/') {
      c.path = value;
    } else if (key == "secure") {
      c.secure = true;
    } else if (key == "max-age" && !value.empty()) {
      maxAge = true;
      long long seconds = atoll(value.c_str());
      expired = seconds <= 0;
      c.expires = Now() + seconds;
    } else if (key == "expires" && !maxAge) {
      time_t when = curl_getdate(value.c_str(), nullptr);
      if (when != -1) {
        expired = when <= Now();
        c.expires = when;
      }
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  RemoveExpired(Now());
  auto same = std::find_if(cookies_.begin(), cookies_.end(), [&c](const Cookie& o) {
    return o.name == c.name && o.domain == c.domain && o.path == c.path;
  });
  if (expired) {
    if (same != cookies_.end()) cookies_.erase(same);
    return;
  }
  if (same != cookies_.end()) {
    c.order = same->order;  // a new value keeps the cookie's place
    *same = std::move(c);
  } else {
    c.order = next_order_++;
    cookies_.push_back(std::move(c));
  }
}

void CookieJar::RemoveExpired(int64_t now) {
  cookies_.erase(
      std::remove_if(cookies_.begin(), cookies_.end(),
                     [now](const Cookie& c) { return c.expires != 0 && c.expires <= now; }),
      cookies_.end());
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
}

CookieJar& ProcessCookieJar() {
  static CookieJar* jar = new CookieJar;  // never destroyed: threads may outlive main
  return *jar;
}

void ClearCookieStore() { ProcessCookieJar().Clear(); }

}  // namespace tulora::net
