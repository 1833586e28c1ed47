#include "runtime/linux_winapi/url_parts.h"

#include <curl/curl.h>
#include <strings.h>

#include <memory>

#include "runtime/linux_winapi/curl_init.h"

namespace tulora::net {
namespace {

struct UrlHandle {
  UrlHandle() : url(curl_url()) {}
  ~UrlHandle() { curl_url_cleanup(url); }
  UrlHandle(const UrlHandle&) = delete;
  UrlHandle& operator=(const UrlHandle&) = delete;

  // The part, or "" where the URL has none.
  std::string Get(CURLUPart part, unsigned int flags = 0) const {
    char* text = nullptr;
    if (url == nullptr || curl_url_get(url, part, &text, flags) != CURLUE_OK) return "";
    std::string value = text;
    curl_free(text);
    return value;
  }

  CURLU* url;
};

constexpr unsigned int kSetFlags = CURLU_ALLOW_SPACE | CURLU_PATH_AS_IS;

bool IsWebScheme(const std::string& scheme, bool* secure) {
  *secure = strcasecmp(scheme.c_str(), "https") == 0;
  return *secure || strcasecmp(scheme.c_str(), "http") == 0;
}

}  // namespace

std::string UrlParts::Port() const {
  if (!port.empty()) return port;
  return secure ? "443" : "80";
}

std::string UrlParts::HostLine() const {
  return port.empty() || port == (secure ? "443" : "80") ? host : host + ":" + port;
}

bool SplitUrl(std::string_view url, UrlParts* out) {
  InitCurl();
  UrlHandle h;
  std::string text(url);
  if (h.url == nullptr ||
      curl_url_set(h.url, CURLUPART_URL, text.c_str(), kSetFlags) != CURLUE_OK) {
    return false;
  }
  if (!IsWebScheme(h.Get(CURLUPART_SCHEME), &out->secure)) return false;
  out->host = h.Get(CURLUPART_HOST);
  if (out->host.empty()) return false;
  out->port = h.Get(CURLUPART_PORT);
  std::string path = h.Get(CURLUPART_PATH);
  std::string query = h.Get(CURLUPART_QUERY);
  out->target = EncodeTargetBytes((path.empty() ? "/" : path) + (query.empty() ? "" : "?" + query));
  return true;
}

bool ResolveLocation(std::string_view base, std::string_view location, std::string* out) {
  InitCurl();
  UrlHandle h;
  std::string from(base), to(location);
  if (h.url == nullptr ||
      curl_url_set(h.url, CURLUPART_URL, from.c_str(), kSetFlags) != CURLUE_OK ||
      curl_url_set(h.url, CURLUPART_URL, to.c_str(),
                   CURLU_ALLOW_SPACE | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return false;
  }
  curl_url_set(h.url, CURLUPART_FRAGMENT, nullptr, 0);
  // A user part is dropped: a server's redirect never becomes credentials
  // that the next leg would send.
  curl_url_set(h.url, CURLUPART_USER, nullptr, 0);
  curl_url_set(h.url, CURLUPART_PASSWORD, nullptr, 0);
  curl_url_set(h.url, CURLUPART_OPTIONS, nullptr, 0);
  *out = h.Get(CURLUPART_URL);
  return !out->empty();
}

std::string EncodeTargetBytes(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (c <= 0x20 || c >= 0x7f) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace tulora::net
