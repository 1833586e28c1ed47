// WinInetRequest: one complete HTTP exchange through the WinINet functions
// (declared DLL functions), returning the response body as a byte set.
//
// Every call opens its own Internet, connection and request handles and
// closes them before it returns. The status code is neither read nor
// reported: an error page comes back like any other body.
//
// Freestanding: <stdint.h> only.
#ifndef TULORA_HTTP_WININET_REQUEST_H
#define TULORA_HTTP_WININET_REQUEST_H

#include <stdint.h>

#include "image/interface_constants.h"
#include "image/values.h"

namespace tulora {

// Agent text for InternetOpenA when the header text names no User-Agent.
inline constexpr char DEFAULT_AGENT[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
// Bytes asked for by each InternetReadFile call.
inline constexpr uint32_t READ_CHUNK_SIZE = 1024;
// First size of the response header buffer; a larger block is queried again
// with the size the first query reports.
inline constexpr uint32_t HEADER_BUFFER_SIZE = 5000;
// The longest body the routine reads: 128 MiB (MAX_RESPONSE_BODY_BYTES).
// Reading stops past it and the body is not read to its end. A 32-bit
// process has 2 GiB of address space for everything, and a body held in
// memory grows by doubling, so holding this much may take a 128 MiB block
// beside the 64 MiB one it replaces; every picture a gallery serves is far
// smaller.
inline constexpr uint32_t MAX_BODY_BYTES = MAX_RESPONSE_BODY_BYTES;
// The pieces in which a body goes to a file stream (BodyStream).
inline constexpr uint32_t BODY_PIECE_BYTES = 64u << 10;

// A body handed to a file stream of the runtime (RtOpenFileStream) as it
// arrives, instead of being held whole: the chunks of the reads are
// gathered into one piece of BODY_PIECE_BYTES, which is appended to the
// stream whenever it cannot take another chunk, and at the end. Reading
// stops at the first piece the stream refuses; the body is then not read
// to its end. The stream stays open: the caller finishes it.
struct BodyStream {
  int32_t stream = 0;   // in: the runtime's file stream
  uint32_t length = 0;  // out: the bytes of the body read
};

// The optional parameters, in call order after `url`. Omitted ones keep the
// values below: numbers and truth values 0/false, texts and byte sets empty.
// A variable pointer left null is an omitted in/out or out parameter; only
// `cookies` changes behaviour by being supplied (even as the empty text):
// it switches WinINet's own cookie handling off and makes the routine merge
// the response cookies into it.
struct WinInetParams {
  int32_t method = 0;                // 0 GET, 1 POST, 2 HEAD; others read as 0
  const char* postText = nullptr;    // body when method != 0 and postBytes is empty
  char** cookies = nullptr;          // in/out cookie text
  char** responseCookies = nullptr;  // out: cookies the response set
  char** headers = nullptr;          // in/out: completed with the defaults
  char** responseHeaders = nullptr;  // out: raw header block, status line first
  bool noRedirect = false;
  ByteSet** postBytes = nullptr;  // in/out: filled from postText when empty
  const char* proxy = nullptr;    // "host:port"; empty: direct
  // out: true when the body was read to its end (the last read succeeded
  // and delivered nothing); false when a read failed, the body went past
  // MAX_BODY_BYTES or a body stream refused a piece. Written once the
  // request was sent.
  bool* bodyComplete = nullptr;
  // in/out: when given, the body goes into this file stream and the result
  // is the empty byte set.
  BodyStream* bodyStream = nullptr;
};

// The response body as read (any status), or none when it went to a
// BodyStream; the empty byte set when no Internet handle, connection or
// request handle could be had, in which case no parameter is changed. The
// caller owns the result.
ByteSet* WinInetRequest(const char* url, const WinInetParams& params = WinInetParams());

}  // namespace tulora

#endif  // TULORA_HTTP_WININET_REQUEST_H
