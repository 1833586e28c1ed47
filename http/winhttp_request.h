// WinHttpObjectRequest: one complete HTTP exchange through the request
// object "WinHttp.WinHttpRequest.5.1", with timeouts, proxy, TLS leniency,
// default and caller-supplied headers, cookies, Basic proxy authorisation
// and a text or byte-set body.
//
// Each call initialises COM, creates (or borrows) its request object, and
// releases both before it returns. Only the creation of the object is
// judged: every later operation that fails lets the routine go on, and the
// reads that follow give what the object has (an empty body, no headers, a
// status other than 200).
//
// Freestanding: <stdint.h> only.
#ifndef TULORA_HTTP_WINHTTP_REQUEST_H
#define TULORA_HTTP_WINHTTP_REQUEST_H

#include <stdint.h>

#include "image/values.h"

namespace tulora {

inline constexpr int32_t DEFAULT_TIMEOUT_MS = 15000;

// An optional value together with whether the caller supplied it.
template <typename T>
struct Optional {
  T value{};
  bool supplied = false;
  constexpr Optional() = default;
  constexpr Optional(T v) : value(v), supplied(true) {}  // NOLINT: implicit on purpose
  constexpr T Or(T fallback) const { return supplied ? value : fallback; }
};

// The optional parameters, in call order after `url`. Omitted ones read as
// 0 / false / the empty text unless noted; a variable pointer left null is an
// omitted in/out or out parameter. `cookies` and `requestObject` change the
// routine by being supplied at all.
struct WinHttpParams {
  int32_t method = 0;                // 0..7, see the method table; others read as 0
  const char* postText = nullptr;    // body when postBytes is empty
  char** cookies = nullptr;          // in/out: sent as "Cookie", merged into
  char** responseCookies = nullptr;  // out
  char** headers = nullptr;          // in/out: completed and normalised
  char** responseHeaders = nullptr;  // out
  int32_t* statusCode = nullptr;     // out
  bool noRedirect = false;
  const ByteSet* postBytes = nullptr;  // body when not empty
  const char* proxy = nullptr;         // "host:port"; empty: no proxy setting
  int32_t timeoutSeconds = 0;          // -1: the object's own; below 1: DEFAULT_TIMEOUT_MS
  const char* proxyUser = nullptr;
  const char* proxyPassword = nullptr;
  Optional<int32_t> proxyAuthMode;   // omitted: 1 (Basic, as a header)
  void* requestObject = nullptr;     // a lent object; null: a new one per call
  Optional<bool> mergeCookies;       // omitted: true
  Optional<bool> addDefaultHeaders;  // omitted: true
  Optional<bool> normalizeHeaders;   // omitted: true
};

// The response body (the object's ResponseBody) as a new byte set; the empty
// byte set, with no out parameter touched, when the object cannot be made.
ByteSet* WinHttpObjectRequest(const char* url, const WinHttpParams& params = WinHttpParams());

// The method text of a method number after range correction.
const char* WinHttpMethodText(int32_t method);

// The cookies a response header block sets, as a cookie text: the first
// name=value pair of each line whose name before ": " is exactly
// "Set-Cookie", trimmed, joined by "; ".
char* CollectWinHttpCookies(const char* responseHeaders);

}  // namespace tulora

#endif  // TULORA_HTTP_WINHTTP_REQUEST_H
