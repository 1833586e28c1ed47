#include "runtime/linux_winapi/winhttp.h"

#include <strings.h>

#include "runtime/linux_winapi/proxy_list.h"
#include "runtime/linux_winapi/url_parts.h"

namespace tulora::net {
namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && strncasecmp(s.data(), prefix.data(), prefix.size()) == 0;
}

bool IsTokenByte(unsigned char c) { return c > 0x20 && c < 0x7f && c != ':'; }

bool IsToken(std::string_view s) {
  for (unsigned char c : s) {
    if (!IsTokenByte(c)) return false;
  }
  return !s.empty();
}

// Checks an absolute http or https URL with a host; bytes that cannot stand
// in a URL are percent-encoded. Returns the error number, 0 when usable.
uint32_t NormalizeUrl(std::string_view url, std::string* out) {
  size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return NET_ERROR_INVALID_URL;
  if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://")) {
    return NET_ERROR_UNRECOGNIZED_SCHEME;
  }
  std::string_view rest = url.substr(scheme_end + 3);
  size_t host_end = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, host_end);
  if (authority.empty() || authority[0] == ':' || authority.find('@') != std::string_view::npos) {
    return NET_ERROR_INVALID_URL;
  }
  *out = EncodeTargetBytes(url);
  return NET_ERROR_NONE;
}

// The request target of a checked URL: everything after the host, "/"
// at least, sent as it stands (dot segments too); a fragment goes with it,
// its "#" as "%23".
std::string RequestTarget(const std::string& url) {
  size_t start = url.find("://") + 3;
  size_t end = url.find_first_of("/?#", start);
  std::string target = end == std::string::npos ? "/" : url.substr(end);
  if (target[0] != '/') target.insert(0, "/");
  for (size_t at = target.find('#'); at != std::string::npos; at = target.find('#', at)) {
    target.replace(at, 1, "%23");
  }
  return target;
}

uint32_t Limit(int32_t ms) { return ms <= 0 ? 0 : static_cast<uint32_t>(ms); }

}  // namespace

bool WinHttpRequest::Fail(uint32_t error) {
  error_ = error;
  return false;
}

bool WinHttpRequest::SetTimeouts(int32_t resolve, int32_t connect, int32_t send, int32_t receive) {
  if (resolve < -1 || connect < -1 || send < -1 || receive < -1) {
    return Fail(NET_ERROR_INVALID_PARAMETER);
  }
  resolve_ms_ = resolve;
  connect_ms_ = connect;
  send_ms_ = send;
  receive_ms_ = receive;
  error_ = NET_ERROR_NONE;
  return true;
}

bool WinHttpRequest::SetProxy(int32_t setting, std::string_view server, std::string_view) {
  if (setting < REQUEST_PROXY_DEFAULT || setting > REQUEST_PROXY_SERVER ||
      (setting == REQUEST_PROXY_SERVER && server.empty())) {
    return Fail(NET_ERROR_INVALID_PARAMETER);
  }
  proxy_setting_ = setting;
  proxyList_ = setting == REQUEST_PROXY_SERVER ? std::string(server) : std::string();
  error_ = NET_ERROR_NONE;
  return true;
}

bool WinHttpRequest::Open(std::string_view method, std::string_view url, bool) {
  opened_ = false;
  headers_.clear();
  ClearResponse();
  if (!IsToken(method)) return Fail(NET_ERROR_INVALID_PARAMETER);
  uint32_t error = NormalizeUrl(url, &url_);
  if (error != NET_ERROR_NONE) return Fail(error);
  method_ = std::string(method);
  opened_ = true;
  error_ = NET_ERROR_NONE;
  return true;
}

bool WinHttpRequest::SetOption(int32_t index, int32_t value) {
  if (index == REQUEST_OPTION_SSL_ERROR_IGNORE_FLAGS) {
    tls_ignore_ = static_cast<uint32_t>(value);
  } else if (index == REQUEST_OPTION_ENABLE_REDIRECTS) {
    redirects_ = value != 0;
  } else {
    return Fail(NET_ERROR_INVALID_PARAMETER);
  }
  error_ = NET_ERROR_NONE;
  return true;
}

int32_t WinHttpRequest::GetOption(int32_t index) const {
  if (index == REQUEST_OPTION_SSL_ERROR_IGNORE_FLAGS) return static_cast<int32_t>(tls_ignore_);
  if (index == REQUEST_OPTION_ENABLE_REDIRECTS) return redirects_ ? 1 : 0;
  return 0;
}

bool WinHttpRequest::SetRequestHeader(std::string_view name, std::string_view value) {
  if (!opened_) return Fail(NET_ERROR_CANNOT_CALL_BEFORE_OPEN);
  if (!IsToken(name) || value.find_first_of("\r\n") != std::string_view::npos) {
    return Fail(NET_ERROR_INVALID_PARAMETER);
  }
  error_ = NET_ERROR_NONE;
  for (auto& [n, v] : headers_) {
    if (n.size() == name.size() && strncasecmp(n.data(), name.data(), n.size()) == 0) {
      v = std::string(value);
      return true;
    }
  }
  headers_.emplace_back(std::string(name), std::string(value));
  return true;
}

void WinHttpRequest::ClearResponse() {
  response_ = TransferResult();
  body_.reset();
}

std::string_view WinHttpRequest::ResponseBody() const {
  return body_ ? body_->view() : std::string_view();
}

bool WinHttpRequest::Send() { return SendBody(std::string(), false); }

bool WinHttpRequest::Send(std::string_view text) { return SendBody(std::string(text), true); }

bool WinHttpRequest::Send(const std::vector<uint8_t>& bytes) {
  return SendBody(std::string(bytes.begin(), bytes.end()), true);
}

bool WinHttpRequest::SendBody(std::string body, bool has_body) {
  ClearResponse();
  if (!opened_) return Fail(NET_ERROR_CANNOT_CALL_BEFORE_OPEN);
  TransferRequest r;
  r.method = method_;
  r.url = url_;
  r.target = RequestTarget(url_);
  r.style = HeaderStyle::kRequestObject;
  r.cookies = jar_.get();
  for (const auto& [n, v] : headers_) r.headerLines.push_back(n + ": " + v);
  r.userAgent = kDefaultAgent;
  r.defaultAccept = true;
  // A GET never carries a body; the other methods carry one that is not
  // empty, and POST and PUT announce an empty one too (Content-Length: 0).
  const bool announcesEmpty = method_ == "POST" || method_ == "PUT";
  r.sendBody = method_ != "GET" && has_body && (!body.empty() || announcesEmpty);
  r.body = std::move(body);
  if (proxy_setting_ == REQUEST_PROXY_SERVER) {
    r.proxy = ProxyFor(proxyList_, StartsWithNoCase(url_, "https:"));
    if (!r.proxy.empty()) r.proxyMode = ProxyMode::kServer;
  }
  r.followRedirects = redirects_;
  r.redirectToHttp = false;  // never from https down to http
  r.tls_ignore = tls_ignore_;
  r.connect_timeout_ms = Limit(connect_ms_) == 0 ? 0 : Limit(connect_ms_) + Limit(resolve_ms_);
  r.send_timeout_ms = Limit(send_ms_);
  r.receive_timeout_ms = Limit(receive_ms_);
  r.max_body = MAX_RESPONSE_BODY_BYTES;  // more fails as a body the object cannot hold
  response_ = PerformTransfer(r);
  if (response_.complete || response_.tunnelRefused) {
    body_ = std::make_shared<const BodyBuffer>(std::move(response_.body));
    error_ = NET_ERROR_NONE;
    return true;
  }
  uint32_t error = response_.error;
  ClearResponse();
  // This object reports every certificate problem as one secure failure.
  bool tls = error == NET_ERROR_INVALID_CA || error == NET_ERROR_CERT_DATE_INVALID ||
             error == NET_ERROR_CERT_COMMON_NAME_INVALID;
  return Fail(tls ? NET_ERROR_SECURE_FAILURE : error);
}

std::string WinHttpRequest::GetAllResponseHeaders() const {
  const std::string& raw = response_.rawHeaders;
  size_t end = raw.find("\r\n");
  return end == std::string::npos ? std::string() : raw.substr(end + 2);
}

std::string WinHttpRequest::StatusText() const {
  const std::string& raw = response_.rawHeaders;
  std::string line = raw.substr(0, raw.find("\r\n"));
  size_t first = line.find(' ');
  size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
  return second == std::string::npos ? std::string() : line.substr(second + 1);
}

}  // namespace tulora::net
