// URL splitting. See url.h.
#include "http/url.h"

#include "image/runtime_calls.h"
#include "image/values.h"

namespace tulora {
namespace {

// True when the first `count` bytes of `text` equal `prefix`.
bool StartsWith(const char* text, const char* prefix, int32_t count) {
  OwnedText head(RtLeft(text, count));
  return CompareTexts(head.get(), prefix) == 0;
}

}  // namespace

char* UrlHost(const char* url, bool keepPort) {
  OwnedText u(RtLower(url));
  OwnedText last(RtRight(u.get(), 1));
  if (CompareTexts(last.get(), "/") != 0) u.Reset(JoinTexts(u.get(), "/"));
  if (StartsWith(u.get(), "https://", 8)) {
    u.Reset(TextBetween(u.get(), "https://", "/"));
  } else {
    if (RtFind(u.get(), "http://") < 0) u.Reset(JoinTexts("http://", u.get()));
    u.Reset(TextBetween(u.get(), "http://", "/"));
  }
  if (keepPort) return u.Take();
  int32_t colon = RtFind(u.get(), ":");
  if (colon > 0) return RtLeft(u.get(), colon - 1);
  return u.Take();
}

int32_t UrlPort(const char* url) {
  OwnedText host(UrlHost(url, true));
  int32_t colon = RtFindLast(host.get(), ":");
  if (colon > 0) {
    OwnedText port(RtRight(host.get(), RtLength(host.get()) - colon));
    return RtTextToInt(port.get());
  }
  OwnedText scheme(RtLeft(url, 5));
  OwnedText lowered(RtLower(scheme.get()));
  return CompareTexts(lowered.get(), "https") == 0 ? 443 : 80;
}

char* UrlPath(const char* url) {
  OwnedText host(UrlHost(url));
  int32_t p = RtFind(url, host.get(), 1, true);
  int32_t q = RtFind(url, "/", p, true);
  if (q > 0) return RtRight(url, RtLength(url) - q + 1);
  return CopyText("/");
}

}  // namespace tulora
