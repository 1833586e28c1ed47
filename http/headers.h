// Header texts of the HTTP module: 'Name: value' lines separated by "\r\n",
// without a final line break; possibly empty. Completing them with default
// headers, normalising the names, cutting lines into name and value and
// applying them to a request; Base64 and the Basic proxy authorisation.
#ifndef TULORA_HTTP_HEADERS_H
#define TULORA_HTTP_HEADERS_H

#include <stdint.h>

#include "image/values.h"

namespace tulora {

// Method number of "POST", the only one that gets a Content-Type default.
inline constexpr int32_t METHOD_POST = 1;

// Appends, in this order, each default whose name (with its colon) occurs
// nowhere in the header text, ignoring case: "Accept: */*", "Referer: " + url,
// "Accept-Language: zh-cn", the User-Agent, and for METHOD_POST the form
// Content-Type. Each appended default starts with "\r\n". `*headers` (null
// reads as empty) is replaced by the new text.
void AddDefaultHeaders(char** headers, const char* url, int32_t method);

// A new text: the lines that have a colon, in order, each with its name's
// first character and every character after a "-" in upper case; colon-less
// and blank lines dropped; no final line break.
char* NormalizeHeaderText(const char* headers);

// A new text: the first byte upper-cased (ASCII letters only), the rest
// unchanged.
char* CapitalizeFirst(const char* text);

// Where applied headers go: the request object's SetRequestHeader.
typedef void (*RequestHeaderSink)(void* context, const char* name, const char* value);

// One sink call per header line: a text without "\r\n" is applied as one
// line whatever it holds (the empty text too); otherwise empty lines and
// the exact line pair "Connection" / "keep-alive" are skipped.
void ApplyHeaderText(const char* headers, RequestHeaderSink sink, void* context);

// New texts: the trimmed text before / after the line's first ":" (empty
// when there is none).
char* HeaderLineName(const char* line);
char* HeaderLineValue(const char* line);

// A new text: everything before the first `separator` found from `start`
// (below 1 reads as 1); empty when it is not found.
char* TextBefore(const char* text, const char* separator, int32_t start = 1,
                 bool ignoreCase = false);

// A new text: standard Base64 with "=" padding and no line breaks; empty for
// an empty byte set. The byte set in `*bytes` is first padded in place with
// zero bytes to a multiple of 3 (the variable may receive a moved block).
char* Base64Encode(ByteSet** bytes);

// A new byte set holding the given byte sets one after another (null ones
// count as empty).
ByteSet* JoinByteSets(const ByteSet* const* sets, uint32_t count);
inline ByteSet* JoinByteSets(const ByteSet* a, const ByteSet* b) {
  const ByteSet* sets[] = {a, b};
  return JoinByteSets(sets, 2);
}
inline ByteSet* JoinByteSets(const ByteSet* a, const ByteSet* b, const ByteSet* c) {
  const ByteSet* sets[] = {a, b, c};
  return JoinByteSets(sets, 3);
}

// A new text: "Basic " + Base64 of the GBK bytes of user ":" password, the
// value of the Proxy-Authorization header.
char* ProxyAuthorizationValue(const char* user, const char* password);

}  // namespace tulora

#endif  // TULORA_HTTP_HEADERS_H
