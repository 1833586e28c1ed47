#include "http/winhttp_request.h"

#include "http/cookies.h"
#include "http/headers.h"
#include "http/object_calls.h"
#include "image/dll_table.h"
#include "image/link_symbols.h"
#include "image/runtime_calls.h"

namespace tulora {
namespace {

constexpr int32_t PROXY_SETTING = 2;
constexpr int32_t OPTION_TLS_ERRORS = 4;
constexpr int32_t TLS_ERRORS_IGNORED = 0x3300;
constexpr int32_t OPTION_REDIRECTS = 6;
constexpr int32_t PROXY_AUTH_BASIC = 1;

uintptr_t Dll(uint32_t entry, uint32_t count, uintptr_t word = 0) {
  return tulora_services.CallDllFunction(entry, count, &word);
}

void Replace(char** variable, char* value) {
  tulora_services.Release(*variable);
  *variable = value;
}

void Store(char** variable, char* value) {
  if (variable == nullptr) {
    tulora_services.Release(value);
    return;
  }
  Replace(variable, value);
}

void SetTimeouts(void* object, int32_t timeoutSeconds) {
  if (timeoutSeconds == -1) return;
  const int32_t t = timeoutSeconds < 1 ? DEFAULT_TIMEOUT_MS : timeoutSeconds * 1000;
  CallMethod(object, "SetTimeouts", ArgInt(t), ArgInt(t), ArgInt(t), ArgInt(t));
}

void SetRequestHeader(void* object, const char* name, const char* value) {
  CallMethod(object, "SetRequestHeader", ArgText(name), ArgText(value));
}

void HeaderSink(void* context, const char* name, const char* value) {
  SetRequestHeader(context, name, value);
}

// Sends the "Cookie" header; a supplied text first loses every "Cookie:".
void SendCookies(void* object, char** cookies) {
  if (TextLength(*cookies) > 0 && RtFind(*cookies, "Cookie:", 1, true) > 0) {
    Replace(cookies, RtReplace(*cookies, "Cookie:", "", true));
  }
  SetRequestHeader(object, "Cookie", *cookies);
}

void Send(void* object, const char* postText, const ByteSet* postBytes) {
  if (ByteSetLength(postBytes) == 0) {
    CallMethod(object, "Send", ArgText(postText));
    return;
  }
  void* variant = nullptr;
  BytesToVariant(postBytes, &variant);
  CallMethod(object, "Send", ArgVariant(variant));
  ClearVariant(&variant);
}

// The body, out of the ResponseBody variant. The routine's own object is
// released before the bytes are copied out of the variant, so that a large
// body exists at most twice at any moment (object and variant, then variant
// and byte set); a lent object stays the caller's.
ByteSet* TakeBody(void* object, void** created) {
  void* variant = nullptr;
  GetPropertyVariant(object, "ResponseBody", &variant);
  if (*created != nullptr) ReleaseObject(created);
  ByteSet* body = VariantToBytes(variant);
  ClearVariant(&variant);
  return body;
}

// Steps of one exchange between obtaining the object and reading the answer.
void Prepare(void* object, const char* url, int32_t method, const WinHttpParams& p,
             char** headers) {
  SetTimeouts(object, p.timeoutSeconds);
  if (TextLength(p.proxy) > 0) CallMethod(object, "SetProxy", ArgInt(PROXY_SETTING), ArgText(p.proxy));
  CallMethod(object, "Open", ArgText(WinHttpMethodText(method)), ArgText(url), ArgBool(false));
  if (p.noRedirect) SetIndexedProperty(object, "Option", OPTION_REDIRECTS, ArgInt(0));
  SetIndexedProperty(object, "Option", OPTION_TLS_ERRORS, ArgInt(TLS_ERRORS_IGNORED));
  if (p.addDefaultHeaders.Or(true)) AddDefaultHeaders(headers, url, method);
  if (p.normalizeHeaders.Or(true)) Replace(headers, NormalizeHeaderText(*headers));
  if (TextLength(p.proxy) > 0 && TextLength(p.proxyUser) > 0 &&
      p.proxyAuthMode.Or(PROXY_AUTH_BASIC) == PROXY_AUTH_BASIC) {
    OwnedText value(ProxyAuthorizationValue(p.proxyUser, p.proxyPassword));
    SetRequestHeader(object, "Proxy-Authorization", value.get());
  }
  if (p.cookies != nullptr) SendCookies(object, p.cookies);
  ApplyHeaderText(*headers, HeaderSink, object);
}

// The answer: header block, status, body, cookies (merged when asked). The
// reads have no effect on the object, so the body comes last, when the
// object can go.
ByteSet* ReadAnswer(void* object, void** created, const WinHttpParams& p) {
  char* responseHeaders = CallTextMethod(object, "GetAllResponseHeaders");
  const double status = ResultDouble(CallMethod(object, "Status"));
  ByteSet* body = TakeBody(object, created);
  if (p.statusCode != nullptr) *p.statusCode = static_cast<int32_t>(TruncateToInteger(status));
  char* responseCookies = CollectWinHttpCookies(responseHeaders);
  if (p.mergeCookies.Or(true) && p.cookies != nullptr) {
    Replace(&responseCookies, MergeCookies(p.cookies, &responseCookies));
  }
  Store(p.responseHeaders, responseHeaders);
  Store(p.responseCookies, responseCookies);
  return body;
}

}  // namespace

const char* WinHttpMethodText(int32_t method) {
  // Fixed-width rows: a table of texts, not of pointers to texts.
  static const char kMethods[8][8] = {"GET",     "POST",   "HEAD",  "PUT",
                                      "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  return kMethods[(method < 0 || method > 7) ? 0 : method];
}

char* CollectWinHttpCookies(const char* responseHeaders) {
  OwnedTextArray lines(RtSplit(responseHeaders, "\r\n"));
  const void* first = nullptr;
  const uint32_t count = ArrayElementCountTolerant(lines.get(), &first);
  OwnedText cookies(CopyText(""));
  for (uint32_t i = 0; i < count; ++i) {
    const char* line = static_cast<char* const*>(first)[i];
    OwnedText name(TextBefore(line, ": "));
    if (CompareTexts(name.get(), "Set-Cookie") != 0) continue;
    OwnedText taken(RtFind(line, ";") > 0 ? TextBetween(line, "Set-Cookie:", ";")
                                          : RtReplace(line, "Set-Cookie:", "", true));
    OwnedText trimmed(RtTrim(taken.get()));
    cookies.Reset(JoinTexts(cookies.get(), trimmed.get(), "; "));
  }
  const int32_t length = static_cast<int32_t>(TextLength(cookies.get()));
  OwnedText tail(RtRight(cookies.get(), 2));
  if (CompareTexts(tail.get(), "; ") == 0) return RtLeft(cookies.get(), length - 2);
  return cookies.Take();
}

ByteSet* WinHttpObjectRequest(const char* url, const WinHttpParams& p) {
  Dll(TULORA_DLL_ENTRY(CoInitialize), 1, 0);
  const int32_t method = (p.method < 0 || p.method > 7) ? 0 : p.method;
  void* created = nullptr;
  void* object = p.requestObject;
  if (object == nullptr) {
    if (!CreateObject(&created, REQUEST_PROG_ID)) {
      Dll(TULORA_DLL_ENTRY(CoUninitialize), 0);
      return NewByteSet(0);
    }
    object = created;
  }
  char* localHeaders = nullptr;
  char** headers = p.headers ? p.headers : &localHeaders;
  Prepare(object, url, method, p, headers);
  Send(object, p.postText, p.postBytes);
  ByteSet* body = ReadAnswer(object, &created, p);
  Dll(TULORA_DLL_ENTRY(CoUninitialize), 0);
  tulora_services.Release(localHeaders);
  return body;  // already a new block of the caller's: no further copy
}

}  // namespace tulora
