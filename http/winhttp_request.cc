#include "http/winhttp_request.h"

#include "http/cookies.h"
#include "http/headers.h"
#include "http/object_calls.h"
#include "image/dll_table.h"
#include "image/interface_constants.h"
#include "image/link_symbols.h"
#include "image/runtime_calls.h"

namespace tulora {
namespace {

// Every certificate problem the object can be told to ignore.
constexpr int32_t ALL_CERTIFICATE_ERRORS = REQUEST_IGNORE_UNKNOWN_CA | REQUEST_IGNORE_WRONG_USAGE |
                                           REQUEST_IGNORE_CERT_CN_INVALID |
                                           REQUEST_IGNORE_CERT_DATE_INVALID;
constexpr int32_t PROXY_AUTH_BASIC = 1;

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
    ReplaceText(cookies, RtReplace(*cookies, "Cookie:", "", true));
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
  if (TextLength(p.proxy) > 0) {
    CallMethod(object, "SetProxy", ArgInt(REQUEST_PROXY_SERVER), ArgText(p.proxy));
  }
  CallMethod(object, "Open", ArgText(WinHttpMethodText(method)), ArgText(url), ArgBool(false));
  if (p.noRedirect) {
    SetIndexedProperty(object, "Option", REQUEST_OPTION_ENABLE_REDIRECTS, ArgInt(0));
  }
  SetIndexedProperty(object, "Option", REQUEST_OPTION_SSL_ERROR_IGNORE_FLAGS,
                     ArgInt(ALL_CERTIFICATE_ERRORS));
  if (p.addDefaultHeaders.Or(true)) AddDefaultHeaders(headers, url, method);
  if (p.normalizeHeaders.Or(true)) ReplaceText(headers, NormalizeHeaderText(*headers));
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
    ReplaceText(&responseCookies, MergeCookies(p.cookies, &responseCookies));
  }
  StoreText(p.responseHeaders, responseHeaders);
  StoreText(p.responseCookies, responseCookies);
  return body;
}

// Lines whose name before ": " is exactly "Set-Cookie".
bool IsSetCookieLine(const char* line) {
  OwnedText name(TextBefore(line, ": "));
  return CompareTexts(name.get(), "Set-Cookie") == 0;
}

}  // namespace

const char* WinHttpMethodText(int32_t method) {
  // Fixed-width rows: a table of texts, not of pointers to texts.
  static const char kMethods[8][8] = {"GET",     "POST",   "HEAD",  "PUT",
                                      "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  return kMethods[(method < 0 || method > 7) ? 0 : method];
}

char* CollectWinHttpCookies(const char* responseHeaders) {
  return CollectResponseCookies(responseHeaders, IsSetCookieLine);
}

ByteSet* WinHttpObjectRequest(const char* url, const WinHttpParams& p) {
  CallDllWords(TULORA_DLL_ENTRY(CoInitialize), 0u);
  const int32_t method = (p.method < 0 || p.method > 7) ? 0 : p.method;
  void* created = nullptr;
  void* object = p.requestObject;
  if (object == nullptr) {
    if (!CreateObject(&created, REQUEST_PROG_ID)) {
      CallDllWords(TULORA_DLL_ENTRY(CoUninitialize));
      return NewByteSet(0);
    }
    object = created;
  }
  char* localHeaders = nullptr;
  char** headers = p.headers ? p.headers : &localHeaders;
  Prepare(object, url, method, p, headers);
  Send(object, p.postText, p.postBytes);
  ByteSet* body = ReadAnswer(object, &created, p);
  CallDllWords(TULORA_DLL_ENTRY(CoUninitialize));
  tulora_services.Release(localHeaders);
  return body;  // already a new block of the caller's: no further copy
}

}  // namespace tulora
