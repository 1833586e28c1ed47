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
#include "http/winhttp_request.h"
#include "http/wininet_request.h"
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

// One call of a request routine and its line. `tail` follows
// "<base>/d/<name>/"; `headers` and `cookies` null: the variable is not
// passed at all. `bare`: the request object's call adds no default headers
// and leaves the header text as given (WinInet has no such choice).
void RunCase(const Bases& bases, const char* name, Routine routine, int32_t method, bool secure,
             const char* tail, Body body, const char* headers, const char* cookies, bool noRedirect,
             bool bare = false) {
  OwnedText url(JoinTexts(secure ? bases.secure : bases.plain, "/d/", name, "/", tail));
  OwnedText headerText(headers != nullptr ? CopyText(headers) : nullptr);
  OwnedText cookieText(cookies != nullptr ? CopyText(cookies) : nullptr);
  char** headerVariable = headers != nullptr ? headerText.Address() : nullptr;
  char** cookieVariable = cookies != nullptr ? cookieText.Address() : nullptr;
  OwnedBytes bytes(body == BYTE_BODY ? AllByteValues() : nullptr);
  const char* postText = body == TEXT_BODY ? "a=1&b=%E4%B8%AD&c=x+y" : nullptr;
  OwnedText responseHeaders, responseCookies;
  OwnedText line(JoinTexts("case\t", name));
  if (routine == INET) {
    WinInetParams p;
    p.method = method;
    p.postText = postText;
    p.cookies = cookieVariable;
    p.responseCookies = responseCookies.Address();
    p.headers = headerVariable;
    p.responseHeaders = responseHeaders.Address();
    p.noRedirect = noRedirect;
    p.postBytes = body == BYTE_BODY ? bytes.Address() : nullptr;
    bool complete = false;
    p.bodyComplete = &complete;
    OwnedBytes answer(WinInetRequest(url.get(), p));
    AddNumber(line.Address(), "complete", complete ? 1 : 0);
    AddBytes(line.Address(), "body", answer.get());
  } else {
    WinHttpParams p;
    p.method = method;
    p.postText = postText;
    p.cookies = cookieVariable;
    p.responseCookies = responseCookies.Address();
    p.headers = headerVariable;
    p.responseHeaders = responseHeaders.Address();
    int32_t status = -1;
    p.statusCode = &status;
    p.noRedirect = noRedirect;
    p.postBytes = bytes.get();
    if (bare) {
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

// The cases. The reply kinds the server knows: plain, bytes, echo (the
// request body back), cookies (two Set-Cookie lines), redirect (302 to
// plain), missing (404).
void RunCases(const Bases& b) {
  constexpr bool kTls = true, kPlainHttp = false, kFollow = false, kStop = true;
  RunCase(b, "inet_get", INET, 0, kTls, "plain", NO_BODY, nullptr, nullptr, kFollow);
  RunCase(b, "inet_get_http", INET, 0, kPlainHttp, "plain", NO_BODY, nullptr, nullptr, kFollow);
  RunCase(b, "inet_get_headers", INET, 0, kTls, "cookies", NO_BODY,
          "User-Agent: TuloraWire/1\r\nX-Case: one", "", kFollow);
  RunCase(b, "inet_post_text", INET, 1, kTls, "echo", TEXT_BODY, "", nullptr, kFollow);
  RunCase(b, "inet_post_bytes", INET, 1, kTls, "echo", BYTE_BODY, nullptr, "k=v; m=n", kFollow);
  RunCase(b, "inet_head", INET, 2, kTls, "plain", NO_BODY, nullptr, nullptr, kFollow);
  RunCase(b, "inet_cookies", INET, 0, kTls, "cookies", NO_BODY, nullptr, "s1=old; k=v", kFollow);
  RunCase(b, "inet_redirect", INET, 0, kTls, "redirect", NO_BODY, nullptr, nullptr, kFollow);
  RunCase(b, "inet_redirect_stop", INET, 0, kTls, "redirect", NO_BODY, nullptr, nullptr, kStop);
  RunCase(b, "inet_missing", INET, 0, kTls, "missing", NO_BODY, nullptr, nullptr, kFollow);
  RunCase(b, "inet_odd_path", INET, 0, kTls, "plain?q=a%20b&r=%E4%B8%AD&s=x y&t=~!*'()", NO_BODY,
          nullptr, nullptr, kFollow);
  RunCase(b, "object_get", OBJECT, 0, kTls, "plain", NO_BODY, nullptr, nullptr, kFollow);
  RunCase(b, "object_get_http", OBJECT, 0, kPlainHttp, "plain", NO_BODY, nullptr, nullptr, kFollow);
  RunCase(b, "object_get_headers", OBJECT, 0, kTls, "cookies", NO_BODY,
          "Referer: https://example.invalid/\r\nX-Case: two", "", kFollow);
  RunCase(b, "object_bare_headers", OBJECT, 0, kTls, "plain", NO_BODY, "X-Case: three", nullptr,
          kFollow, true);
  RunCase(b, "object_post_text", OBJECT, 1, kTls, "echo", TEXT_BODY, "", nullptr, kFollow);
  RunCase(b, "object_post_bytes", OBJECT, 1, kTls, "echo", BYTE_BODY, nullptr, "k=v; m=n", kFollow);
  RunCase(b, "object_head", OBJECT, 2, kTls, "plain", NO_BODY, nullptr, nullptr, kFollow);
  RunCase(b, "object_cookies", OBJECT, 0, kTls, "cookies", NO_BODY, nullptr, "s1=old; k=v",
          kFollow);
  RunCase(b, "object_redirect", OBJECT, 0, kTls, "redirect", NO_BODY, nullptr, nullptr, kFollow);
  RunCase(b, "object_redirect_stop", OBJECT, 0, kTls, "redirect", NO_BODY, nullptr, nullptr, kStop);
  RunCase(b, "object_missing", OBJECT, 0, kTls, "missing", NO_BODY, nullptr, nullptr, kFollow);
  RunCase(b, "object_odd_path", OBJECT, 0, kTls, "plain?q=a%20b&r=%E4%B8%AD&s=x y&t=~!*'()",
          NO_BODY, nullptr, nullptr, kFollow);
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
