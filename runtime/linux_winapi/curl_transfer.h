// One complete HTTP exchange over libcurl: the engine under the WinINet
// functions and the WinHttp request object of the Linux runtime.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_CURL_TRANSFER_H
#define TULORA_RUNTIME_LINUX_WINAPI_CURL_TRANSFER_H

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "image/interface_constants.h"
#include "runtime/linux_winapi/body_buffer.h"

namespace tulora::net {

// Error numbers as the platform's HTTP stacks report them.
enum NetError : uint32_t {
  NET_ERROR_NONE = 0,
  NET_ERROR_INVALID_HANDLE = 6,
  NET_ERROR_OUT_OF_MEMORY = 14,
  NET_ERROR_INVALID_PARAMETER = 87,
  NET_ERROR_INSUFFICIENT_BUFFER = 122,
  NET_ERROR_TIMEOUT = 12002,
  NET_ERROR_INTERNAL = 12004,
  NET_ERROR_INVALID_URL = 12005,
  NET_ERROR_UNRECOGNIZED_SCHEME = 12006,
  NET_ERROR_NAME_NOT_RESOLVED = 12007,
  NET_ERROR_INCORRECT_HANDLE_TYPE = 12018,
  NET_ERROR_INCORRECT_HANDLE_STATE = 12019,
  NET_ERROR_CANNOT_CONNECT = 12029,
  NET_ERROR_CONNECTION_ABORTED = 12030,
  NET_ERROR_CONNECTION_RESET = 12031,
  NET_ERROR_CERT_DATE_INVALID = 12037,
  NET_ERROR_HTTP_TO_HTTPS_ON_REDIRECT = 12039,
  NET_ERROR_HTTPS_TO_HTTP_ON_REDIRECT = 12040,
  NET_ERROR_CERT_COMMON_NAME_INVALID = 12038,
  NET_ERROR_INVALID_CA = 12045,
  NET_ERROR_CANNOT_CALL_BEFORE_OPEN = 12100,
  NET_ERROR_HEADER_NOT_FOUND = 12150,
  NET_ERROR_INVALID_SERVER_RESPONSE = 12152,
  NET_ERROR_REDIRECT_FAILED = 12156,
  NET_ERROR_SECURE_FAILURE = 12175,
};

// Certificate problems a request may be told to ignore (the platform's
// bits): unknown or untrusted issuer, wrong key usage, a name that does not
// match the host, a date outside the validity period.
enum TlsIgnore : uint32_t {
  TLS_IGNORE_UNKNOWN_CA = REQUEST_IGNORE_UNKNOWN_CA,
  TLS_IGNORE_WRONG_USAGE = REQUEST_IGNORE_WRONG_USAGE,
  TLS_IGNORE_COMMON_NAME = REQUEST_IGNORE_CERT_CN_INVALID,
  TLS_IGNORE_DATE = REQUEST_IGNORE_CERT_DATE_INVALID,
};

class CookieJar;

// What a followed redirect's own body may take before its connection is
// dropped: bytes, and milliseconds from the end of its header block.
inline constexpr size_t kMaxRedirectBodyBytes = 64u << 10;
inline constexpr long kMaxRedirectBodyMs = 2000;

// The order of a request's header lines, and what a followed redirect
// changes in them: those of the platform function the transfer stands in
// for, as seen on the wire.
//   kWinInet: Host, Content-Length, the agent's User-Agent, Accept */*,
//     the caller's lines, the stored cookies. After a redirect: User-Agent,
//     Accept, the caller's lines (Content-Type left out when no body goes
//     with the leg), Host, Content-Length, the stored cookies.
//   kRequestObject: Accept */*, the caller's lines, User-Agent, Host,
//     Content-Length, "Connection: Keep-Alive", the stored cookies. After
//     a redirect to another host or port: Connection before Host.
// Each piece only where it applies: a caller's line of the same name
// stands instead of Host, Content-Length, User-Agent, Accept or Connection.
enum class HeaderStyle { kWinInet, kRequestObject };

enum class ProxyMode {
  kSystem,  // whatever the environment (http_proxy, ...) says
  kDirect,  // never a proxy
  kServer,  // the server in `proxy`
};

struct TransferRequest {
  std::string method = "GET";
  std::string url;  // absolute http:// or https:// URL
  // The first request's target, sent as it stands ("" takes the path and
  // query of url). Through a proxy (kServer) an http request names
  // "http://host:port" ahead of it; with kSystem the target goes into the
  // URL, where the library drops a fragment.
  std::string target;
  HeaderStyle style = HeaderStyle::kWinInet;
  bool http10 = false;                   // "HTTP/1.0" instead of "HTTP/1.1"
  std::vector<std::string> headerLines;  // "Name: value", sent unchanged
  std::string userAgent;                 // unless a header line names one; "" = none
  bool defaultAccept = false;            // send "Accept: */*" when no line has Accept
  std::string body;
  bool sendBody = false;  // send `body` (even empty: Content-Length: 0), also with HEAD
  // With sendBody: a Content-Length line goes ahead of the body, unless a
  // caller's line names one; false: the body goes without any (a caller's
  // empty Content-Length line under WinINet took it away).
  bool announceLength = true;
  ProxyMode proxyMode = ProxyMode::kDirect;
  std::string proxy;  // "host:port" for kServer
  // Redirects (301, 302, 303, 307, 308 with a Location) are followed by
  // the engine itself, up to 10: 301 and 302 after a POST, and 303 after
  // anything but HEAD, go on as GET without the body; 307 and 308 repeat
  // the request. The caller's lines go with every leg, Cookie included,
  // whatever host the redirect leads to. A followed redirect's own body is
  // read and dropped up to kMaxRedirectBodyBytes or for kMaxRedirectBodyMs;
  // past either its connection is dropped and the next leg goes on.
  bool followRedirects = true;
  // May a followed redirect leave https for http, or go from http to
  // https? One that may not fails: with NET_ERROR_HTTPS_TO_HTTP_ON_REDIRECT
  // or NET_ERROR_HTTP_TO_HTTPS_ON_REDIRECT in the kWinInet style, with
  // NET_ERROR_REDIRECT_FAILED in the other.
  bool redirectToHttp = false;
  bool redirectToHttps = true;
  // Gives every leg the cookies it matches and takes every Set-Cookie
  // line of every response; null: no cookies but the caller's lines. Must
  // outlive the exchange.
  CookieJar* cookies = nullptr;
  uint32_t tls_ignore = 0;          // TlsIgnore bits
  uint32_t connect_timeout_ms = 0;  // 0: no limit (name resolution included)
  uint32_t send_timeout_ms = 0;     // longest pause while sending, 0: no limit
  uint32_t receive_timeout_ms = 0;  // longest pause while waiting or receiving
  // The longest body PerformTransfer keeps, 0: no limit. A body that grows
  // past it ends the exchange with NET_ERROR_OUT_OF_MEMORY.
  size_t max_body = 0;
};

struct TransferResult {
  bool complete = false;       // the whole response arrived
  bool gotHead = false;        // the final response's header block arrived
  bool tunnelRefused = false;  // the proxy answered the CONNECT with an error status
  uint32_t error = NET_ERROR_NONE;
  int status = 0;
  // The final response's header block: status line first, "\r\n" after
  // every line, the blank line at the end.
  std::string rawHeaders;
  BodyBuffer body;  // what arrived of the body, also after a failure
};

// An exchange whose body is handed out as the reader asks for it instead
// of being kept whole: the server is read only as fast as the reader takes
// the bytes, through a small buffer used again and again. Never throws.
class Transfer {
 public:
  explicit Transfer(TransferRequest request);
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // Runs until the final response's body begins or the exchange ends; the
  // head of result() (gotHead, status, rawHeaders, and error when it
  // failed before the body) is then settled.
  void AwaitHead();
  // Copies up to `size` bytes of the body into `out`, waiting for them;
  // fewer only where the body ended, whole (result().complete) or not
  // (result().error). Time between calls does not count as a stall.
  size_t Read(char* out, size_t size);
  // The body of the result stays empty.
  const TransferResult& result() const;

  struct Engine;  // also runs PerformTransfer

 private:
  std::unique_ptr<Engine> engine_;
};

// Performs the exchange and keeps the whole body; never throws.
//
// Both ways send a request alike, its lines laid out by `style`: header
// lines without a colon are not sent; "Name:" with an empty value is sent
// as such ("Name: " from the request object). The engine owns the body's
// framing, as the platform's functions do: the body goes out as given,
// after the Content-Length line of the layout or of the caller; a caller's
// Transfer-Encoding line goes out as a line like any other, and the body
// is never chunked for it. A "Proxy-Authorization"
// line goes to the proxy only (also into a CONNECT for https) when a proxy is
// used. Certificates are checked against the system store plus the file that
// SSL_CERT_FILE names.
TransferResult PerformTransfer(const TransferRequest& request);

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_CURL_TRANSFER_H
