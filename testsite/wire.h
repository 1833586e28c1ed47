// Wire formats of the test site: a request as it arrived (kept byte for byte
// for the request log) and a scripted reply as it is written back.
#ifndef TULORA_TESTSITE_WIRE_H
#define TULORA_TESTSITE_WIRE_H

#include <stddef.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tulora::testsite {

// One request exactly as the client sent it.
struct LoggedRequest {
  bool secure = false;                   // arrived on the TLS port
  bool resumedTls = false;               // its connection resumed an earlier TLS session
  std::string raw;                       // every byte of the request
  std::string requestLine;               // without its line end
  std::string method, target, version;   // the three parts of requestLine
  std::vector<std::string> headerLines;  // in order and letter case, no line ends
  std::string body;                      // content, de-chunked when chunked

  // Value of the first header line whose name equals `name` ignoring letter
  // case, trimmed of spaces and tabs; empty when there is none.
  std::string Header(std::string_view name) const;
  // Number of header lines whose name equals `name` ignoring letter case.
  size_t HeaderCount(std::string_view name) const;
  // The target without its query ("/a?b" gives "/a").
  std::string Path() const;
};

// A scripted reply. Everything is written as given: the header lines go out
// in order and letter case, so a test can send odd or duplicate lines.
struct Reply {
  int status = 200;
  std::string reason;                    // empty: the usual phrase for status
  std::vector<std::string> headerLines;  // without line ends
  std::string body;
  // When set, written instead of `body`: a large body served again and
  // again without a copy per request.
  std::shared_ptr<const std::string> sharedBody;
  // Adds "Content-Length: <body size>" unless a Content-Length or
  // Transfer-Encoding line is among headerLines.
  bool addContentLength = true;
  // Wait before the status line (a slow server) and between the header block
  // and the body (a server that stalls after its headers).
  int delayMs = 0;
  int bodyDelayMs = 0;
  // When >= 0: write only that many body bytes, then drop the connection
  // (Content-Length still announces the whole body).
  long cutAfter = -1;
  // The body is written again and again until the client goes away or the
  // site stops: a body without end (announce it with headerLines).
  bool repeatBody = false;

  const std::string& Body() const { return sharedBody ? *sharedBody : body; }

  static Reply Text(int status, std::string body);
  // 200 with `body` in chunks of `step` bytes, a trailer line after the
  // last chunk. With `ended` false the chunks stop without the last one;
  // together with repeatBody that is a body that never ends.
  static Reply Chunked(const std::string& body, size_t step, bool ended = true);
  static Reply Redirect(int status, std::string location);
};

// Splits the head of a request (request line and header lines up to the
// blank line) out of `raw`. Returns false when `raw` holds no complete head;
// *head_size receives the bytes of the head including the blank line.
bool ParseRequestHead(std::string_view raw, LoggedRequest* out, size_t* head_size);

// The usual reason phrase for a status code ("" for unknown codes).
const char* ReasonPhrase(int status);

// Status line and header block of `reply`, "\r\n" line ends, blank line at
// the end; a server always closes after a reply, so "Connection: close" is
// added unless the reply has a Connection line of its own.
std::string FormatReplyHead(const Reply& reply);

// True when a header line's name (text before the first colon) equals
// `name` ignoring ASCII letter case.
bool HeaderNameIs(std::string_view line, std::string_view name);

}  // namespace tulora::testsite

#endif  // TULORA_TESTSITE_WIRE_H
