// The request object behind the ProgID "WinHttp.WinHttpRequest.5.1", on
// Linux a plain class over libcurl. The runtime's object layer exposes it
// through the object commands; the class knows nothing of that layer.
//
// No method throws or ends the program. A failed operation returns false and
// leaves its error number in LastError(); after a failed Send (bad URL,
// refused connection, timeout, a response that breaks off, a body longer
// than MAX_RESPONSE_BODY_BYTES, which the object holds no more of) the body
// and the header block are empty and Status() is 0.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_WINHTTP_H
#define TULORA_RUNTIME_LINUX_WINAPI_WINHTTP_H

#include <stdint.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/interface_constants.h"
#include "runtime/linux_winapi/cookie_jar.h"
#include "runtime/linux_winapi/curl_transfer.h"

namespace tulora::net {

class WinHttpRequest {
 public:
  // Option indices REQUEST_OPTION_* and SetProxy settings REQUEST_PROXY_*:
  // image/interface_constants.h. No certificate error is ignored and
  // redirects are followed until an option says otherwise;
  // REQUEST_PROXY_DEFAULT goes direct (no proxy is configured here).
  static constexpr const char* kDefaultAgent =
      "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";

  // Timeouts in milliseconds; 0 or -1 waits without limit. Name resolution
  // and connecting share one limit (their sum); send and receive limit the
  // longest pause while the request goes out or the response comes in.
  // Defaults: resolve 0, connect 60000, send 30000, receive 30000.
  bool SetTimeouts(int32_t resolve, int32_t connect, int32_t send, int32_t receive);
  // REQUEST_PROXY_SERVER with a proxy list ("host:port", "http=host:port", ...);
  // the bypass list is not supported and ignored.
  bool SetProxy(int32_t setting, std::string_view server = {}, std::string_view bypass = {});
  // Starts a new request: clears the request headers and the last response;
  // timeouts, proxy, options and the cookies responses set stay (the object
  // keeps its cookies for its later requests, redirects' legs included). The request is synchronous
  // whatever `async` says: Send returns when the response is complete.
  bool Open(std::string_view method, std::string_view url, bool async = false);
  bool SetOption(int32_t index, int32_t value);
  int32_t GetOption(int32_t index) const;
  // Adds the header or replaces the value of one of the same name (letter
  // case ignored). Refuses an empty name, a name with a colon, space or
  // control byte, and a value with a line break.
  bool SetRequestHeader(std::string_view name, std::string_view value);
  // The text is sent as its bytes, unchanged.
  bool Send();
  bool Send(std::string_view text);
  bool Send(const std::vector<uint8_t>& bytes);

  std::string_view ResponseBody() const;
  // The same bytes, shared: whoever holds them keeps them after the next
  // request or the object's end, and a body of many megabytes is handed on
  // without a copy. Null when there is no body.
  std::shared_ptr<const BodyBuffer> SharedResponseBody() const { return body_; }
  // The header block without the status line: "\r\n" after every line and
  // a blank line at the end; empty without a response.
  std::string GetAllResponseHeaders() const;
  int32_t Status() const { return response_.status; }
  std::string StatusText() const;
  uint32_t LastError() const { return error_; }

 private:
  bool SendBody(std::string body, bool has_body);
  bool Fail(uint32_t error);
  void ClearResponse();

  bool opened_ = false;
  std::string method_, url_;
  std::vector<std::pair<std::string, std::string>> headers_;
  int32_t resolve_ms_ = 0, connect_ms_ = 60000, send_ms_ = 30000, receive_ms_ = 30000;
  int32_t proxy_setting_ = REQUEST_PROXY_DEFAULT;
  std::string proxyList_;
  uint32_t tls_ignore_ = 0;
  bool redirects_ = true;
  std::unique_ptr<CookieJar> jar_ = std::make_unique<CookieJar>();
  std::shared_ptr<const BodyBuffer> body_;  // the response's body, once it arrived
  TransferResult response_;
  uint32_t error_ = 0;
};

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_WINHTTP_H
