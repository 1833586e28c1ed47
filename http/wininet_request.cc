#include "http/wininet_request.h"

#include "http/cookies.h"
#include "http/headers.h"
#include "http/url.h"
#include "image/dll_table.h"
#include "image/interface_constants.h"
#include "image/link_symbols.h"
#include "image/runtime_calls.h"
#include "image/system_calls.h"

namespace tulora {
namespace {

void CloseHandle(uintptr_t handle) { CallDllWords(TULORA_DLL_ENTRY(InternetCloseHandle), handle); }

// The method text after range correction: 0 "GET", 1 "POST", 2 "HEAD".
const char* MethodText(int32_t method) {
  static const char kMethods[3][8] = {"GET", "POST", "HEAD"};
  return kMethods[(method < 0 || method > 2) ? 0 : method];
}

bool StartsWithIgnoringCase(const char* text, const char* prefix, int32_t length) {
  OwnedText left(RtLeft(text, length));
  OwnedText lower(RtLower(left.get()));
  return CompareTexts(lower.get(), prefix) == 0;
}

// The agent: the User-Agent value of the header text, or DEFAULT_AGENT.
char* AgentText(const char* headers) {
  if (RtFind(headers, "User-Agent:", 1, true) < 1) return CopyText(DEFAULT_AGENT);
  OwnedText between(TextBetween(headers, "User-Agent:", "\r\n"));
  char* agent = RtTrim(between.get());
  if (TextLength(agent) > 0) return agent;
  tulora_services.Release(agent);
  return HeaderLineValue(headers);
}

uintptr_t OpenInternet(const char* agent, const char* proxy, bool secure) {
  if (TextLength(proxy) == 0) {
    return CallDllWords(TULORA_DLL_ENTRY(InternetOpenA), Word(agent), INTERNET_OPEN_TYPE_DIRECT,
                        Word(""), Word(""), 0u);
  }
  // For URLs that are not https the proxy is named for http only.
  OwnedText proxyText(secure ? CopyText(proxy) : JoinTexts("http=", proxy));
  return CallDllWords(TULORA_DLL_ENTRY(InternetOpenA), Word(agent), INTERNET_OPEN_TYPE_PROXY,
                      Word(proxyText.get()), Word(""), 0u);
}

uint32_t RequestFlags(bool cookiesSupplied, bool noRedirect, bool secure) {
  uint32_t flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE;
  if (cookiesSupplied) flags |= INTERNET_FLAG_NO_COOKIES;
  if (noRedirect) flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
  flags |= secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
  return flags;
}

void AppendIfMissing(char** headers, const char* name, const char* line, const char* tail = "") {
  if (RtFind(*headers, name) > 0) return;
  char* joined = JoinTexts(*headers, line, tail);
  tulora_services.Release(*headers);
  *headers = joined;
}

// Completes the header text with the defaults, letter case significant.
void CompleteHeaders(char** headers, const char* url, const char* cookies) {
  if (TextLength(*headers) == 0) {
    tulora_services.Release(*headers);
    *headers = CopyText("Accept: */*");
  } else {
    AppendIfMissing(headers, "Accept:", "\r\nAccept: */*");
  }
  AppendIfMissing(headers, "Referer:", "\r\nReferer: ", url);
  AppendIfMissing(headers, "Accept-Language:", "\r\nAccept-Language: zh-cn");
  AppendIfMissing(headers, "Content-Type:", "\r\nContent-Type: application/x-www-form-urlencoded");
  if (TextLength(cookies) > 0) {
    char* joined = JoinTexts(*headers, "\r\nCookie: ", cookies);
    tulora_services.Release(*headers);
    *headers = joined;
  }
}

void Send(uintptr_t request, int32_t method, const char* headers, const char* postText,
          ByteSet** postBytes) {
  const uintptr_t length = TextLength(headers);
  if (method == 0) {
    CallDllWords(TULORA_DLL_ENTRY(HttpSendRequestA), request, Word(headers), length, Word(""), 0u);
    return;
  }
  if (ByteSetLength(*postBytes) == 0) {
    tulora_services.Release(*postBytes);
    *postBytes = RtTextToBytes(postText);
  }
  CallDllWords(TULORA_DLL_ENTRY(HttpSendRequestA_Body), request, Word(headers), length,
               Word((*postBytes)->data()), static_cast<uintptr_t>(ByteSetLength(*postBytes)));
}

// One InternetReadFile of READ_CHUNK_SIZE bytes into `into`: the count it
// delivered; 0 at the body's end, when the read failed or when it claims
// more than was asked. `*complete`: the read that delivered nothing
// succeeded.
uint32_t ReadChunk(uintptr_t request, uint8_t* into, bool* complete) {
  uint32_t count = 0;
  const bool read = CallDllWords(TULORA_DLL_ENTRY(InternetReadFile), request, Word(into),
                                 READ_CHUNK_SIZE, Word(&count)) != 0;
  if (count == 0) *complete = read;
  return count > READ_CHUNK_SIZE ? 0 : count;
}

// The body to its end, or to MAX_BODY_BYTES. Chunks go straight into the
// byte set that becomes the result; its storage doubles when full and is
// cut to size at the end, so the work is linear and no second copy of the
// body is made. `*complete`: the body was read to its end.
ByteSet* ReadBody(uintptr_t request, bool* complete) {
  const uint32_t head = static_cast<uint32_t>(sizeof(ByteSet));
  uint32_t used = 0, capacity = 4 * READ_CHUNK_SIZE;
  ByteSet* body = static_cast<ByteSet*>(tulora_services.Allocate(head + capacity));
  *complete = false;
  while (used <= MAX_BODY_BYTES) {
    if (capacity - used < READ_CHUNK_SIZE) {
      const uint32_t most = MAX_BODY_BYTES + READ_CHUNK_SIZE;
      capacity = capacity > most / 2 ? most : capacity * 2;
      body = static_cast<ByteSet*>(tulora_services.Reallocate(body, head + capacity));
    }
    const uint32_t count = ReadChunk(request, body->data() + used, complete);
    if (count == 0) break;
    used += count;
  }
  body = static_cast<ByteSet*>(tulora_services.Reallocate(body, head + used));
  body->dimensions = 1;
  body->length = used;
  return body;
}

// Appends the first `*used` bytes of the piece to the stream and empties
// the piece; false when the stream refused them.
bool HandOver(int32_t stream, ByteSet* piece, uint32_t* used) {
  piece->length = *used;
  const bool taken = RtAppendToFileStream(stream, piece);
  piece->length = BODY_PIECE_BYTES;
  *used = 0;
  return taken;
}

// The body to its end, or to MAX_BODY_BYTES, into `sink` (BodyStream).
// `*complete`: the body was read to its end and the stream took all of it.
void StreamBody(uintptr_t request, BodyStream* sink, bool* complete) {
  OwnedBytes piece(NewByteSet(BODY_PIECE_BYTES));
  uint32_t used = 0;
  bool taken = true;
  sink->length = 0;
  *complete = false;
  while (taken && sink->length <= MAX_BODY_BYTES) {
    const uint32_t count = ReadChunk(request, piece.get()->data() + used, complete);
    if (count == 0) break;
    used += count;
    sink->length += count;
    if (BODY_PIECE_BYTES - used < READ_CHUNK_SIZE)
      taken = HandOver(sink->stream, piece.get(), &used);
  }
  if (used > 0) taken = HandOver(sink->stream, piece.get(), &used) && taken;
  if (!taken) *complete = false;
}

// One query into a text of `size` spaces; the text then reads up to the zero
// the call wrote. False, with the size the block needs, when it did not fit.
bool QueryHeaders(uintptr_t request, uint32_t size, char** headers, uint32_t* needed) {
  char* text = static_cast<char*>(tulora_services.Allocate(size + 1));
  for (uint32_t i = 0; i < size; ++i) text[i] = ' ';
  text[size] = 0;
  uint32_t length = size;
  const bool ok = CallDllWords(TULORA_DLL_ENTRY(HttpQueryInfoA), request,
                               HTTP_QUERY_RAW_HEADERS_CRLF, Word(text), Word(&length), 0u) != 0;
  *needed = length;
  tulora_services.Release(*headers);
  *headers = text;
  return ok;
}

// The raw header block, whole: a block that does not fit the first buffer is
// queried again with the size the first query reported.
char* ResponseHeaders(uintptr_t request) {
  char* headers = nullptr;
  uint32_t needed = 0;
  if (!QueryHeaders(request, HEADER_BUFFER_SIZE, &headers, &needed) &&
      needed > HEADER_BUFFER_SIZE) {
    QueryHeaders(request, needed, &headers, &needed);
  }
  char* normalised = RtReplace(headers, "Set-Cookie", "Set-Cookie", true);
  tulora_services.Release(headers);
  return normalised;
}

// Every line holding "Set-Cookie" anywhere, letter case significant.
bool HoldsSetCookie(const char* line) { return RtFind(line, "Set-Cookie") > 0; }

}  // namespace

ByteSet* WinInetRequest(const char* url, const WinInetParams& p) {
  const int32_t method = (p.method < 0 || p.method > 2) ? 0 : p.method;
  const bool secure = StartsWithIgnoringCase(url, "https", 5);
  OwnedText agent(AgentText(p.headers ? *p.headers : nullptr));

  const uintptr_t internet = OpenInternet(agent.get(), p.proxy, secure);
  if (internet == 0) return NewByteSet(0);
  OwnedText host(UrlHost(url));
  const uintptr_t connection =
      CallDllWords(TULORA_DLL_ENTRY(InternetConnectA), internet, Word(host.get()),
                   static_cast<uintptr_t>(static_cast<uint32_t>(UrlPort(url))), Word(""), Word(""),
                   INTERNET_SERVICE_HTTP, 0u, 0u);
  if (connection == 0) {
    CloseHandle(internet);
    return NewByteSet(0);
  }
  OwnedText path(UrlPath(url));
  uintptr_t acceptTypes[1] = {0};
  const uintptr_t request = CallDllWords(
      TULORA_DLL_ENTRY(HttpOpenRequestA), connection, Word(MethodText(method)), Word(path.get()),
      Word("HTTP/1.1"), Word(""), Word(acceptTypes),
      static_cast<uintptr_t>(RequestFlags(p.cookies != nullptr, p.noRedirect, secure)), 0u);
  if (request == 0) {
    CloseHandle(connection);
    CloseHandle(internet);
    return NewByteSet(0);
  }

  char* localHeaders = nullptr;
  char** headers = p.headers ? p.headers : &localHeaders;
  CompleteHeaders(headers, url, p.cookies ? *p.cookies : nullptr);
  ByteSet* localBytes = nullptr;
  ByteSet** postBytes = p.postBytes ? p.postBytes : &localBytes;
  Send(request, method, *headers, p.postText, postBytes);
  bool complete = false;
  ByteSet* body = nullptr;
  if (p.bodyStream != nullptr) {
    StreamBody(request, p.bodyStream, &complete);
    body = NewByteSet(0);
  } else {
    body = ReadBody(request, &complete);
  }
  if (p.bodyComplete != nullptr) *p.bodyComplete = complete;
  char* responseHeaders = ResponseHeaders(request);
  CloseHandle(request);
  CloseHandle(connection);
  CloseHandle(internet);

  char* responseCookies = CollectResponseCookies(responseHeaders, HoldsSetCookie);
  if (p.cookies != nullptr) tulora_services.Release(MergeCookies(p.cookies, &responseCookies));
  StoreText(p.responseHeaders, responseHeaders);
  StoreText(p.responseCookies, responseCookies);
  tulora_services.Release(localHeaders);
  tulora_services.Release(localBytes);
  return body;  // already a new block of the caller's: no further copy
}

}  // namespace tulora
