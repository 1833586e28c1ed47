// Header texts. See headers.h.
#include "http/headers.h"

#include "image/runtime_calls.h"

namespace tulora {
namespace {

const char kBase64[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

inline bool IsLowerAscii(char c) { return c >= 'a' && c <= 'z'; }

// Appends `text` and `tail` when `name` occurs nowhere in the header text.
void AddDefault(char** headers, const char* name, const char* text, const char* tail) {
  if (RtFind(*headers, name, 1, true) > 0) return;
  ReplaceText(headers, JoinTexts(*headers, text, tail));
}

// The name with its first character and every character after a "-"
// upper-cased: the same as splitting it at every "-" (empty pieces kept),
// passing each piece through CapitalizeFirst and joining with "-". A "-"
// (0x2D) is never part of a double-byte character, so the byte after it is
// always a character of its own.
char* CapitalizeName(const char* name, uint32_t length) {
  char* out = CopyTextBytes(name, length);
  for (uint32_t i = 0; i < length; ++i) {
    bool pieceStart = i == 0 || out[i - 1] == '-';
    if (pieceStart && IsLowerAscii(out[i])) out[i] = static_cast<char>(out[i] - 32);
  }
  return out;
}

// Position of the first ":" of a line, or -1.
int32_t ColonOf(const char* line) { return RtFind(line, ":"); }

}  // namespace

void AddDefaultHeaders(char** headers, const char* url, int32_t method) {
  if (*headers == nullptr) *headers = CopyText(nullptr);
  AddDefault(headers, "Accept:", "\r\nAccept: */*", nullptr);
  AddDefault(headers, "Referer:", "\r\nReferer: ", url);
  AddDefault(headers, "Accept-Language:", "\r\nAccept-Language: zh-cn", nullptr);
  AddDefault(headers,
             "User-Agent:", "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
             nullptr);
  if (method == METHOD_POST) {
    AddDefault(headers, "Content-Type:", "\r\nContent-Type: application/x-www-form-urlencoded",
               nullptr);
  }
}

char* NormalizeHeaderText(const char* headers) {
  OwnedTextArray lines(RtSplit(headers, "\r\n"));
  OwnedText result(CopyText(nullptr));
  const void* first = nullptr;
  uint32_t count = ArrayElementCountTolerant(lines.get(), &first);
  char* const* items = static_cast<char* const*>(first);
  for (uint32_t i = 0; i < count; ++i) {
    int32_t colon = ColonOf(items[i]);
    if (colon < 1) continue;
    OwnedText name(CapitalizeName(items[i], static_cast<uint32_t>(colon - 1)));
    result.Reset(JoinTexts(result.get(), name.get(), items[i] + colon - 1, "\r\n"));
  }
  uint32_t length = TextLength(result.get());
  if (length < 2) return result.Take();
  return CopyTextBytes(result.get(), length - 2);
}

char* CapitalizeFirst(const char* text) {
  OwnedText head(RtLeft(text, 1));
  OwnedText upper(RtUpper(head.get()));
  OwnedText rest(RtRight(text, RtLength(text) - 1));
  return JoinTexts(upper.get(), rest.get());
}

void ApplyHeaderText(const char* headers, RequestHeaderSink sink, void* context) {
  if (RtFind(headers, "\r\n") < 0) {
    OwnedText name(HeaderLineName(headers));
    OwnedText value(HeaderLineValue(headers));
    sink(context, name.get(), value.get());
    return;
  }
  OwnedTextArray lines(RtSplit(headers, "\r\n"));
  const void* first = nullptr;
  uint32_t count = ArrayElementCountTolerant(lines.get(), &first);
  char* const* items = static_cast<char* const*>(first);
  for (uint32_t i = 0; i < count; ++i) {
    if (TextLength(items[i]) == 0) continue;
    OwnedText name(HeaderLineName(items[i]));
    OwnedText value(HeaderLineValue(items[i]));
    if (CompareTexts(name.get(), "Connection") == 0 &&
        CompareTexts(value.get(), "keep-alive") == 0) {
      continue;
    }
    sink(context, name.get(), value.get());
  }
}

char* HeaderLineName(const char* line) {
  int32_t colon = ColonOf(line);
  if (colon < 1) return CopyText(nullptr);
  OwnedText name(RtLeft(line, colon - 1));
  return RtTrim(name.get());
}

char* HeaderLineValue(const char* line) {
  int32_t colon = ColonOf(line);
  if (colon < 1) return CopyText(nullptr);
  OwnedText value(RtRight(line, RtLength(line) - colon));
  return RtTrim(value.get());
}

char* TextBefore(const char* text, const char* separator, int32_t start, bool ignoreCase) {
  if (start < 1) start = 1;
  int32_t at = RtFind(text, separator, start, ignoreCase);
  if (at < 1) return CopyText(nullptr);
  return RtLeft(text, at - 1);
}

char* Base64Encode(ByteSet** bytes) {
  uint32_t n = ByteSetLength(*bytes);
  if (n < 1) return CopyText(nullptr);
  uint32_t r = n % 3;
  if (r > 0) {
    uint32_t m = n + 3 - r;
    *bytes = static_cast<ByteSet*>(tulora_services.Reallocate(*bytes, 8 + m));
    for (uint32_t i = n; i < m; ++i) (*bytes)->data()[i] = 0;
    (*bytes)->length = m;
  }
  uint32_t m = (*bytes)->length;
  const uint8_t* b = (*bytes)->data();
  char* out = static_cast<char*>(tulora_services.Allocate(m / 3 * 4 + 1));
  uint32_t o = 0;
  for (uint32_t i = 0; i < m; i += 3) {
    out[o++] = kBase64[b[i] >> 2];
    out[o++] = kBase64[((b[i] & 3) << 4) + (b[i + 1] >> 4)];
    out[o++] = kBase64[((b[i + 1] & 0xF) << 2) + (b[i + 2] >> 6)];
    out[o++] = kBase64[b[i + 2] & 0x3F];
  }
  out[o] = 0;
  if (r == 1) out[o - 2] = '=';
  if (r >= 1) out[o - 1] = '=';
  return out;
}

ByteSet* JoinByteSets(const ByteSet* const* sets, uint32_t count) {
  uint32_t total = 0;
  for (uint32_t i = 0; i < count; ++i) total += ByteSetLength(sets[i]);
  ByteSet* joined = NewByteSet(total);
  uint32_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t n = ByteSetLength(sets[i]);
    if (n != 0) __builtin_memcpy(joined->data() + at, sets[i]->data(), n);
    at += n;
  }
  return joined;
}

char* ProxyAuthorizationValue(const char* user, const char* password) {
  OwnedText credentials(JoinTexts(user, ":", password));
  ByteSet* bytes = RtTextToBytes(credentials.get());
  OwnedText encoded(Base64Encode(&bytes));
  tulora_services.Release(bytes);
  return JoinTexts("Basic ", encoded.get());
}

}  // namespace tulora
