// A program image that makes a fixed series of calls of the two request
// routines and prints what each call gave back, one line per case, so that
// two runtimes can be compared on the same calls.
//
// Console input: the https base URL on the first line, the plain http base
// URL on the second (no trailing "/"). Each case requests
// BASE/d/<case name>/<reply kind>; the server names the case by that path.
//
// Output, one line per case, fields separated by a tab:
//   case <name> <field>=<value> ...
// Every value is escaped: printable ASCII stays, "\" is "\\", CR LF and tab
// are \r \n \t and every other byte is \xHH, so that a line holds no raw
// control byte and no byte that the console would convert. A text variable
// the routine was not given prints as "-".
#include "http/object_calls.h"
#include "http/winhttp_request.h"
#include "http/wininet_request.h"
#include "image/dll_table.h"
#include "image/interface_constants.h"
#include "image/runtime_calls.h"
#include "image/system_calls.h"
#include "image/values.h"

namespace tulora {
namespace {

// The request routine a case goes through.
enum Routine : int32_t { INET = 0, OBJECT = 1 };
// The body a case sends with a POST.
enum Body : int32_t { NO_BODY = 0, TEXT_BODY = 1, BYTE_BODY = 2 };

char HexDigit(uint32_t value) {
  return static_cast<char>(value < 10 ? '0' + value : 'a' + value - 10);
}

// The escaped form of `length` bytes at `bytes` (see the file comment).
char* Escape(const uint8_t* bytes, uint32_t length) {
  char* out = static_cast<char*>(tulora_services.Allocate(4 * length + 1));
  uint32_t used = 0;
  for (uint32_t i = 0; i < length; ++i) {
    const uint8_t b = bytes[i];
    if (b == '\\') {
      out[used++] = '\\';
      out[used++] = '\\';
    } else if (b == '\r' || b == '\n' || b == '\t') {
      out[used++] = '\\';
      out[used++] = b == '\r' ? 'r' : (b == '\n' ? 'n' : 't');
    } else if (b >= 0x20 && b < 0x7f) {
      out[used++] = static_cast<char>(b);
    } else {
      out[used++] = '\\';
      out[used++] = 'x';
      out[used++] = HexDigit(b >> 4);
      out[used++] = HexDigit(b & 15);
    }
  }
  out[used] = 0;
  return out;
}

// Appends "\t<name>=<escaped text>" to the line; a null variable is "-".
void AddText(char** line, const char* name, char* const* variable) {
  OwnedText value(variable == nullptr
                      ? CopyText("-")
                      : Escape(reinterpret_cast<const uint8_t*>(*variable), TextLength(*variable)));
  ReplaceText(line, JoinTexts(*line, "\t", name, "=", value.get()));
}

void AddBytes(char** line, const char* name, const ByteSet* bytes) {
  OwnedText value(Escape(bytes != nullptr ? bytes->data() : nullptr, ByteSetLength(bytes)));
  OwnedText length(RtNumberToText(ByteSetLength(bytes)));
  ReplaceText(line, JoinTexts(*line, "\t", name, "=", length.get(), ":"));
  ReplaceText(line, JoinTexts(*line, value.get()));
}

void AddNumber(char** line, const char* name, int32_t number) {
  OwnedText value(RtNumberToText(number));
  ReplaceText(line, JoinTexts(*line, "\t", name, "=", value.get()));
}

// Every byte value once, 0 to 255: a body no text could carry.
ByteSet* AllByteValues() {
  ByteSet* bytes = NewByteSet(256);
  for (uint32_t i = 0; i < 256; ++i) bytes->data()[i] = static_cast<uint8_t>(i);
  return bytes;
}

struct Bases {
  const char* secure;
  const char* plain;
};

// One call of a request routine. `tail` follows "<base>/d/<name>/";
// `headers` and `cookies` null: the variable is not passed at all. `bare`:
// the request object's call adds no default headers and leaves the header
// text as given (WinInet has no such choice). `viaProxy`: the call names
// the site's plain http port as its proxy and asks for a host that only
// the proxy can reach. `object`: a request object lent to the call.
struct Call {
  const char* name;
  Routine routine = INET;
  int32_t method = 0;
  bool secure = true;
  const char* tail = "plain";
  Body body = NO_BODY;
  const char* headers = nullptr;
  const char* cookies = nullptr;
  bool noRedirect = false;
  bool bare = false;
  bool viaProxy = false;
  void* object = nullptr;
  bool localTarget = false;  // through the proxy to 127.0.0.1 on a port nobody serves
};

// Where a call goes: its base and path, or through the proxy a host that
// does not resolve.
char* CallUrl(const Bases& bases, const Call& c) {
  if (c.viaProxy) {
    return JoinTexts(c.localTarget ? "http://127.0.0.1:9/d/" : "http://proxied.invalid/d/", c.name,
                     "/", c.tail);
  }
  return JoinTexts(c.secure ? bases.secure : bases.plain, "/d/", c.name, "/", c.tail);
}

// "127.0.0.1:<port>" of the plain http base.
char* ProxyText(const Bases& bases) { return CopyText(bases.plain + 7); }

// One call and its line.
void RunCase(const Bases& bases, const Call& c) {
  OwnedText url(CallUrl(bases, c));
  OwnedText proxy(c.viaProxy ? ProxyText(bases) : nullptr);
  OwnedText headerText(c.headers != nullptr ? CopyText(c.headers) : nullptr);
  OwnedText cookieText(c.cookies != nullptr ? CopyText(c.cookies) : nullptr);
  char** headerVariable = c.headers != nullptr ? headerText.Address() : nullptr;
  char** cookieVariable = c.cookies != nullptr ? cookieText.Address() : nullptr;
  OwnedBytes bytes(c.body == BYTE_BODY ? AllByteValues() : nullptr);
  const char* postText = c.body == TEXT_BODY ? "a=1&b=%E4%B8%AD&c=x+y" : nullptr;
  OwnedText responseHeaders, responseCookies;
  OwnedText line(JoinTexts("case\t", c.name));
  if (c.routine == INET) {
    WinInetParams p;
    p.method = c.method;
    p.postText = postText;
    p.cookies = cookieVariable;
    p.responseCookies = responseCookies.Address();
    p.headers = headerVariable;
    p.responseHeaders = responseHeaders.Address();
    p.noRedirect = c.noRedirect;
    p.postBytes = c.body == BYTE_BODY ? bytes.Address() : nullptr;
    p.proxy = proxy.get();
    bool complete = false;
    p.bodyComplete = &complete;
    OwnedBytes answer(WinInetRequest(url.get(), p));
    AddNumber(line.Address(), "complete", complete ? 1 : 0);
    AddBytes(line.Address(), "body", answer.get());
  } else {
    WinHttpParams p;
    p.method = c.method;
    p.postText = postText;
    p.cookies = cookieVariable;
    p.responseCookies = responseCookies.Address();
    p.headers = headerVariable;
    p.responseHeaders = responseHeaders.Address();
    int32_t status = -1;
    p.statusCode = &status;
    p.noRedirect = c.noRedirect;
    p.postBytes = bytes.get();
    p.proxy = proxy.get();
    p.requestObject = c.object;
    if (c.bare) {
      p.addDefaultHeaders = false;
      p.normalizeHeaders = false;
    }
    OwnedBytes answer(WinHttpObjectRequest(url.get(), p));
    AddNumber(line.Address(), "status", status);
    AddBytes(line.Address(), "body", answer.get());
  }
  AddText(line.Address(), "responseHeaders", responseHeaders.Address());
  AddText(line.Address(), "responseCookies", responseCookies.Address());
  AddText(line.Address(), "headers", headerVariable);
  AddText(line.Address(), "cookies", cookieVariable);
  ReplaceText(line.Address(), JoinTexts(line.get(), "\n"));
  RtConsoleWrite(line.get());
}

// Two calls on one request object lent to both: what the object keeps
// between calls (its cookies) shows in the second request.
void RunLentObjectCases(const Bases& b) {
  CallDllWords(TULORA_DLL_ENTRY(CoInitialize), 0u);
  void* object = nullptr;
  if (!CreateObject(&object, REQUEST_PROG_ID)) {
    RtConsoleWrite("case\tobject_lent_1\tno request object\n");
  } else {
    RunCase(b, {.name = "object_lent_1", .routine = OBJECT, .tail = "cookies", .object = object});
    RunCase(b, {.name = "object_lent_2", .routine = OBJECT, .object = object});
    ReleaseObject(&object);
  }
  CallDllWords(TULORA_DLL_ENTRY(CoUninitialize));
}

// The cases. The reply kinds the server knows: plain, echo (the request
// body back), cookies (two Set-Cookie lines), redirect (302 to plain),
// redirect_secure and redirect_host (302 to plain on the https port, and
// there by the name localhost), redirect_down (302 to plain on the http
// port), redirect_307 (307 to echo), redirect_cookie (302 to plain setting
// a cookie), missing (404). WinINet keeps the cookies of calls without a
// cookie text for the rest of the run: those that set one come late.
void RunCases(const Bases& b) {
  const char* kOddTail = "plain?q=a%20b&r=%E4%B8%AD&s=x y&t=~!*'()";
  const char* kDotTail = "x/../plain#part";
  RunCase(b, {.name = "inet_get"});
  RunCase(b, {.name = "inet_get_http", .secure = false});
  RunCase(b, {.name = "inet_get_headers",
              .tail = "cookies",
              .headers = "User-Agent: TuloraWire/1\r\nX-Case: one",
              .cookies = ""});
  RunCase(
      b, {.name = "inet_post_text", .method = 1, .tail = "echo", .body = TEXT_BODY, .headers = ""});
  RunCase(b, {.name = "inet_post_bytes",
              .method = 1,
              .tail = "echo",
              .body = BYTE_BODY,
              .cookies = "k=v; m=n"});
  RunCase(b, {.name = "inet_head", .method = 2});
  RunCase(b, {.name = "inet_head_body", .method = 2, .body = TEXT_BODY});
  RunCase(b, {.name = "inet_method_out_of_range", .method = 7, .body = TEXT_BODY});
  RunCase(b, {.name = "inet_cookies", .tail = "cookies", .cookies = "s1=old; k=v"});
  RunCase(b, {.name = "inet_redirect", .tail = "redirect"});
  RunCase(b, {.name = "inet_redirect_post", .method = 1, .tail = "redirect", .body = TEXT_BODY});
  RunCase(b, {.name = "inet_redirect_down", .tail = "redirect_down"});
  RunCase(b, {.name = "inet_redirect_307", .method = 1, .tail = "redirect_307", .body = TEXT_BODY});
  RunCase(b, {.name = "inet_redirect_stop", .tail = "redirect", .noRedirect = true});
  RunCase(b, {.name = "inet_redirect_scheme",
              .secure = false,
              .tail = "redirect_secure",
              .cookies = "k=v"});
  RunCase(b, {.name = "inet_redirect_host", .tail = "redirect_host", .cookies = "k=v"});
  RunCase(b, {.name = "inet_missing", .tail = "missing"});
  RunCase(b, {.name = "inet_odd_path", .tail = kOddTail});
  RunCase(b, {.name = "inet_dot_path", .tail = kDotTail});
  RunCase(b, {.name = "inet_proxy", .viaProxy = true});
  // Caller's lines that touch the body's framing, and a bare CR.
  RunCase(b, {.name = "inet_post_length_empty",
              .method = 1,
              .tail = "echo",
              .body = TEXT_BODY,
              .headers = "Content-Length:"});
  RunCase(b, {.name = "inet_post_length_wrong",
              .method = 1,
              .tail = "echo",
              .body = TEXT_BODY,
              .headers = "Content-Length: 3"});
  RunCase(b, {.name = "inet_post_chunked",
              .method = 1,
              .tail = "echo",
              .body = TEXT_BODY,
              .headers = "Transfer-Encoding: chunked"});
  RunCase(b, {.name = "inet_get_chunked", .headers = "Transfer-Encoding: chunked"});
  RunCase(b, {.name = "inet_bare_cr", .headers = "X-One: 1\rX-Two: 2"});
  RunCase(b, {.name = "object_get", .routine = OBJECT});
  RunCase(b, {.name = "object_get_http", .routine = OBJECT, .secure = false});
  RunCase(b, {.name = "object_get_headers",
              .routine = OBJECT,
              .tail = "cookies",
              .headers = "Referer: https://example.invalid/\r\nX-Case: two",
              .cookies = ""});
  RunCase(
      b,
      {.name = "object_bare_headers", .routine = OBJECT, .headers = "X-Case: three", .bare = true});
  RunCase(b, {.name = "object_get_body", .routine = OBJECT, .body = TEXT_BODY});
  RunCase(b, {.name = "object_head_body", .routine = OBJECT, .method = 2, .body = TEXT_BODY});
  RunCase(b, {.name = "object_post_text",
              .routine = OBJECT,
              .method = 1,
              .tail = "echo",
              .body = TEXT_BODY,
              .headers = ""});
  RunCase(b, {.name = "object_post_bytes",
              .routine = OBJECT,
              .method = 1,
              .tail = "echo",
              .body = BYTE_BODY,
              .cookies = "k=v; m=n"});
  RunCase(b, {.name = "object_head", .routine = OBJECT, .method = 2});
  RunCase(
      b, {.name = "object_put", .routine = OBJECT, .method = 3, .tail = "echo", .body = BYTE_BODY});
  RunCase(b, {.name = "object_delete", .routine = OBJECT, .method = 5});
  RunCase(b, {.name = "object_post_empty", .routine = OBJECT, .method = 1, .tail = "echo"});
  RunCase(b, {.name = "object_put_empty", .routine = OBJECT, .method = 3, .tail = "echo"});
  RunCase(
      b, {.name = "object_method_out_of_range", .routine = OBJECT, .method = 9, .body = TEXT_BODY});
  RunCase(
      b,
      {.name = "object_cookies", .routine = OBJECT, .tail = "cookies", .cookies = "s1=old; k=v"});
  RunCase(b, {.name = "object_redirect", .routine = OBJECT, .tail = "redirect"});
  RunCase(b, {.name = "object_redirect_post",
              .routine = OBJECT,
              .method = 1,
              .tail = "redirect",
              .body = TEXT_BODY});
  RunCase(b, {.name = "object_redirect_down", .routine = OBJECT, .tail = "redirect_down"});
  RunCase(b, {.name = "object_redirect_307",
              .routine = OBJECT,
              .method = 1,
              .tail = "redirect_307",
              .body = TEXT_BODY});
  RunCase(
      b,
      {.name = "object_redirect_stop", .routine = OBJECT, .tail = "redirect", .noRedirect = true});
  RunCase(b, {.name = "object_redirect_scheme",
              .routine = OBJECT,
              .secure = false,
              .tail = "redirect_secure",
              .cookies = "k=v"});
  RunCase(b, {.name = "object_redirect_host",
              .routine = OBJECT,
              .tail = "redirect_host",
              .cookies = "k=v"});
  RunCase(b, {.name = "object_redirect_cookie", .routine = OBJECT, .tail = "redirect_cookie"});
  RunCase(b, {.name = "object_missing", .routine = OBJECT, .tail = "missing"});
  RunCase(b, {.name = "object_odd_path", .routine = OBJECT, .tail = kOddTail});
  RunCase(b, {.name = "object_dot_path", .routine = OBJECT, .tail = kDotTail});
  RunCase(b, {.name = "object_post_length_empty",
              .routine = OBJECT,
              .method = 1,
              .tail = "echo",
              .body = TEXT_BODY,
              .headers = "Content-Length:"});
  RunCase(b, {.name = "object_post_length_wrong",
              .routine = OBJECT,
              .method = 1,
              .tail = "echo",
              .body = TEXT_BODY,
              .headers = "Content-Length: 3"});
  // The request object's Transfer-Encoding line after another of the
  // caller's: one that stands first goes out second (header_lists.cc).
  RunCase(b, {.name = "object_post_chunked",
              .routine = OBJECT,
              .method = 1,
              .tail = "echo",
              .body = TEXT_BODY,
              .headers = "X-Case: te\r\nTransfer-Encoding: chunked"});
  RunCase(b, {.name = "object_get_chunked",
              .routine = OBJECT,
              .headers = "X-Case: te\r\nTransfer-Encoding: chunked"});
  RunCase(b, {.name = "object_proxy", .routine = OBJECT, .viaProxy = true});
  RunCase(b,
          {.name = "object_proxy_local", .routine = OBJECT, .viaProxy = true, .localTarget = true});
  RunLentObjectCases(b);
  RunCase(b, {.name = "inet_redirect_cookie", .tail = "redirect_cookie"});
}

}  // namespace
}  // namespace tulora

extern "C" TULORA_CALL void TuloraEntry() {
  using namespace tulora;
  OwnedText secure(RtConsoleReadLine());
  OwnedText plain(RtConsoleReadLine());
  if (TextLength(secure.get()) == 0 || TextLength(plain.get()) == 0) {
    RtConsoleWrite("request driver: give the https and the http base URL, one a line\n");
    tulora_services.FinishMain();
    tulora_services.ExitProgram(2);
  }
  const Bases bases{secure.get(), plain.get()};
  RunCases(bases);
  RtConsoleWrite("end\n");
  tulora_services.FinishMain();
  tulora_services.ExitProgram(0);
}
