#include "runtime/linux_winapi/wininet.h"

#include <string.h>
#include <strings.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/linux_winapi/cookie_jar.h"
#include "runtime/linux_winapi/curl_transfer.h"
#include "runtime/linux_winapi/proxy_list.h"
#include "runtime/linux_winapi/url_parts.h"

namespace tulora::net {
namespace {

// Timeouts of a request handle: the platform's defaults, since the
// functions that would change them are not provided.
constexpr uint32_t kConnectTimeoutMs = 60000;
constexpr uint32_t kSendTimeoutMs = 30000;
constexpr uint32_t kReceiveTimeoutMs = 30000;

enum class Kind { kInternet, kConnection, kRequest };

// A handle copies what it needs from its parent when it is made, so closing
// a parent never leaves a child dangling.
struct Handle {
  Kind kind = Kind::kInternet;
  std::string agent, proxy_list;
  uint32_t access = INTERNET_OPEN_TYPE_DIRECT;
  std::string host;
  uint16_t port = 0;
  std::string method, path, referrer, accept;
  bool http10 = false;
  uint32_t flags = 0;
  std::mutex mutex;  // one call at a time on a request handle
  bool sent = false;
  std::unique_ptr<Transfer> transfer;  // set once sent
};

std::mutex g_mutex;
std::map<uintptr_t, std::shared_ptr<Handle>>* g_handles = nullptr;
uintptr_t g_next_handle = 0xCC0004;
thread_local uint32_t t_error = 0;

template <class T>
T Fail(uint32_t error, T value) {
  t_error = error;
  return value;
}

uintptr_t Register(std::shared_ptr<Handle> handle) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_handles == nullptr) g_handles = new std::map<uintptr_t, std::shared_ptr<Handle>>;
  uintptr_t id = g_next_handle;
  g_next_handle += 4;
  (*g_handles)[id] = std::move(handle);
  t_error = NET_ERROR_NONE;
  return id;
}

// The handle `id` if it exists and is of `kind`; sets the error otherwise.
std::shared_ptr<Handle> Find(uintptr_t id, Kind kind) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_handles == nullptr) return Fail(NET_ERROR_INVALID_HANDLE, nullptr);
  auto it = g_handles->find(id);
  if (it == g_handles->end()) return Fail(NET_ERROR_INVALID_HANDLE, nullptr);
  if (it->second->kind != kind) return Fail(NET_ERROR_INCORRECT_HANDLE_TYPE, nullptr);
  return it->second;
}

std::string Text(const char* s) { return s != nullptr ? s : ""; }

std::string AcceptLine(const char* const* types) {
  std::string line;
  for (size_t i = 0; types != nullptr && types[i] != nullptr; ++i) {
    if (*types[i] == '\0') continue;
    line += line.empty() ? "Accept: " : ", ";
    line += types[i];
  }
  return line;
}

// RFC 3986's removal of "." and ".." segments from a path.
std::string RemoveDotSegments(std::string_view in) {
  std::string out;
  while (!in.empty()) {
    if (in.substr(0, 3) == "../" || in.substr(0, 2) == "./") {
      in.remove_prefix(in[0] == '.' && in[1] == '.' ? 3 : 2);
    } else if (in.substr(0, 3) == "/./" || in == "/.") {
      in = in.size() == 2 ? std::string_view("/") : in.substr(2);
    } else if (in.substr(0, 4) == "/../" || in == "/..") {
      in = in.size() == 3 ? std::string_view("/") : in.substr(3);
      size_t last = out.rfind('/');
      out.erase(last == std::string::npos ? 0 : last);
    } else if (in == "." || in == "..") {
      in = {};
    } else {
      size_t next = in.find('/', 1);
      out += in.substr(0, next);
      in.remove_prefix(next == std::string_view::npos ? in.size() : next);
    }
  }
  return out;
}

// The request target of an object name: "/" ahead of it where it has
// none, bytes that cannot stand in a target percent-encoded (all others,
// "%" included, as given), dot segments of the path resolved. Whatever
// follows "?" or "#" is sent as it stands, the fragment too.
std::string EncodeTarget(std::string_view path) {
  std::string encoded = EncodeTargetBytes(path);
  if (encoded.empty() || encoded[0] != '/') encoded.insert(0, "/");
  size_t end = encoded.find_first_of("?#");
  std::string target = RemoveDotSegments(std::string_view(encoded).substr(0, end));
  if (target.empty()) target = "/";
  return end == std::string::npos ? target : target + encoded.substr(end);
}

// The address of the request: scheme, host and port, and the target
// without its fragment.
std::string RequestUrl(const Handle& h, const std::string& target) {
  bool secure = (h.flags & INTERNET_FLAG_SECURE) != 0;
  bool literal6 = h.host.find(':') != std::string::npos && h.host[0] != '[';
  std::string url = secure ? "https://" : "http://";
  url += literal6 ? "[" + h.host + "]" : h.host;
  if (h.port != 0) url += ":" + std::to_string(h.port);
  return url + target.substr(0, target.find('#'));
}

// The lines of a header text as WinINet reads it: a line ends at CR LF, and
// at a CR or an LF alone, so no bare CR goes out inside a line. Empty
// lines are dropped.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
    if (end > pos) lines.emplace_back(text.substr(pos, end - pos));
    pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

// A caller's "Content-Length:" with nothing after it takes the length line
// that WinINet adds for a body away: the body then goes without one.
bool DropEmptyLength(std::vector<std::string>* lines) {
  const size_t before = lines->size();
  std::erase_if(*lines, [](const std::string& line) {
    return line.size() >= 15 && strncasecmp(line.c_str(), "Content-Length:", 15) == 0 &&
           line.find_first_not_of(" \t", 15) == std::string::npos;
  });
  return lines->size() != before;
}

bool HasHeader(const std::vector<std::string>& lines, const char* name) {
  size_t n = strlen(name);
  for (const std::string& line : lines) {
    if (line.size() > n && line[n] == ':' && strncasecmp(line.c_str(), name, n) == 0) return true;
  }
  return false;
}

void ChooseProxy(const Handle& h, TransferRequest* r) {
  if (h.access == INTERNET_OPEN_TYPE_DIRECT) return;  // kDirect is the default
  if (h.access != INTERNET_OPEN_TYPE_PROXY) {
    r->proxyMode = ProxyMode::kSystem;
    return;
  }
  r->proxy = ProxyFor(h.proxy_list, (h.flags & INTERNET_FLAG_SECURE) != 0);
  if (!r->proxy.empty()) r->proxyMode = ProxyMode::kServer;
}

// INTERNET_FLAG_RELOAD needs nothing: nothing is cached. NEED_FILE neither:
// the body goes straight from the connection to InternetReadFile.
TransferRequest BuildRequest(const Handle& h, std::string_view headers, const void* body,
                             uint32_t body_size) {
  TransferRequest r;
  r.method = h.method;
  r.target = EncodeTarget(h.path);
  r.url = RequestUrl(h, r.target);
  r.style = HeaderStyle::kWinInet;
  r.http10 = h.http10;
  r.headerLines = SplitLines(headers);
  if (!h.referrer.empty() && !HasHeader(r.headerLines, "Referer")) {
    r.headerLines.push_back("Referer: " + h.referrer);
  }
  if (!h.accept.empty() && !HasHeader(r.headerLines, "Accept")) r.headerLines.push_back(h.accept);
  r.userAgent = h.agent;
  if (body != nullptr) r.body.assign(static_cast<const char*>(body), body_size);
  // Every verb but GET announces its body, the empty one of a HEAD too.
  r.sendBody = !r.body.empty() || h.method != "GET";
  if (r.sendBody && DropEmptyLength(&r.headerLines)) r.announceLength = false;
  ChooseProxy(h, &r);
  r.followRedirects = (h.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;
  r.redirectToHttps = (h.flags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS) != 0;
  r.redirectToHttp = (h.flags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP) != 0;
  if ((h.flags & INTERNET_FLAG_NO_COOKIES) == 0) r.cookies = &ProcessCookieJar();
  // The flags IGNORE_CERT_CN_INVALID (0x1000) and IGNORE_CERT_DATE_INVALID
  // (0x2000) have the values of the matching TlsIgnore bits.
  r.tls_ignore = h.flags & (TLS_IGNORE_COMMON_NAME | TLS_IGNORE_DATE);
  r.connect_timeout_ms = kConnectTimeoutMs;
  r.send_timeout_ms = kSendTimeoutMs;
  r.receive_timeout_ms = kReceiveTimeoutMs;
  return r;
}

// Copies `text` with its terminating zero when it fits; otherwise reports
// the size needed, terminating zero included, as the platform does.
int32_t CopyOut(const std::string& text, void* buffer, uint32_t* length) {
  if (text.size() >= 0xFFFFFFFFu) return Fail(NET_ERROR_INSUFFICIENT_BUFFER, 0);
  uint32_t needed = static_cast<uint32_t>(text.size()) + 1;
  if (buffer == nullptr || *length < needed) {
    *length = needed;
    return Fail(NET_ERROR_INSUFFICIENT_BUFFER, 0);
  }
  memcpy(buffer, text.c_str(), needed);
  *length = needed - 1;
  t_error = NET_ERROR_NONE;
  return 1;
}

int32_t CopyNumber(uint32_t value, void* buffer, uint32_t* length) {
  if (buffer == nullptr || *length < sizeof value) {
    *length = sizeof value;
    return Fail(NET_ERROR_INSUFFICIENT_BUFFER, 0);
  }
  memcpy(buffer, &value, sizeof value);
  *length = sizeof value;
  t_error = NET_ERROR_NONE;
  return 1;
}

std::string StatusText(const std::string& rawHeaders) {
  std::string line = rawHeaders.substr(0, rawHeaders.find("\r\n"));
  size_t first = line.find(' ');
  size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
  return second == std::string::npos ? "" : line.substr(second + 1);
}

}  // namespace

// The proxy bypass list and the flags change nothing here: there is no
// asynchronous mode and no local-address exception.
uintptr_t InternetOpenA(const char* agent, uint32_t accessType, const char* proxy, const char*,
                        uint32_t) {
  bool known = accessType == INTERNET_OPEN_TYPE_PRECONFIG ||
               accessType == INTERNET_OPEN_TYPE_DIRECT || accessType == INTERNET_OPEN_TYPE_PROXY ||
               accessType == 4;
  if (!known || (accessType == INTERNET_OPEN_TYPE_PROXY && Text(proxy).empty())) {
    return Fail<uintptr_t>(NET_ERROR_INVALID_PARAMETER, 0);
  }
  auto h = std::make_shared<Handle>();
  h->kind = Kind::kInternet;
  h->agent = Text(agent);
  h->access = accessType;
  h->proxy_list = Text(proxy);
  return Register(std::move(h));
}

// User name and password are not used: no server authentication is offered.
uintptr_t InternetConnectA(uintptr_t internet, const char* serverName, uint16_t serverPort,
                           const char*, const char*, uint32_t service, uint32_t, uintptr_t) {
  std::shared_ptr<Handle> parent = Find(internet, Kind::kInternet);
  if (parent == nullptr) return 0;
  if (Text(serverName).empty() || service != INTERNET_SERVICE_HTTP) {
    return Fail<uintptr_t>(NET_ERROR_INVALID_PARAMETER, 0);
  }
  auto h = std::make_shared<Handle>();
  h->kind = Kind::kConnection;
  h->agent = parent->agent;
  h->access = parent->access;
  h->proxy_list = parent->proxy_list;
  h->host = serverName;
  h->port = serverPort;
  return Register(std::move(h));
}

uintptr_t HttpOpenRequestA(uintptr_t connection, const char* verb, const char* objectName,
                           const char* version, const char* referrer,
                           const char* const* acceptTypes, uint32_t flags, uintptr_t) {
  std::shared_ptr<Handle> parent = Find(connection, Kind::kConnection);
  if (parent == nullptr) return 0;
  std::string v = Text(version);
  if (!v.empty() && v != "HTTP/1.1" && v != "HTTP/1.0")
    return Fail<uintptr_t>(NET_ERROR_INVALID_PARAMETER, 0);
  auto h = std::make_shared<Handle>();
  h->kind = Kind::kRequest;
  h->agent = parent->agent;
  h->access = parent->access;
  h->proxy_list = parent->proxy_list;
  h->host = parent->host;
  h->port = parent->port;
  h->method = Text(verb).empty() ? "GET" : verb;
  h->path = Text(objectName);
  h->http10 = v == "HTTP/1.0";
  h->referrer = Text(referrer);
  h->accept = AcceptLine(acceptTypes);
  h->flags = flags;
  return Register(std::move(h));
}

int32_t HttpSendRequestA(uintptr_t request, const char* headers, uint32_t headersLength,
                         const void* optional, uint32_t optionalLength) {
  std::shared_ptr<Handle> h = Find(request, Kind::kRequest);
  if (h == nullptr) return 0;
  if (optional == nullptr && optionalLength != 0) return Fail(NET_ERROR_INVALID_PARAMETER, 0);
  std::string_view text;
  if (headers != nullptr) {
    text = headersLength == 0xFFFFFFFFu ? std::string_view(headers)
                                        : std::string_view(headers, headersLength);
  }
  std::lock_guard<std::mutex> lock(h->mutex);
  h->transfer.reset();  // an earlier exchange on this handle ends first
  h->transfer = std::make_unique<Transfer>(BuildRequest(*h, text, optional, optionalLength));
  h->transfer->AwaitHead();
  h->sent = true;
  const TransferResult& response = h->transfer->result();
  if (!response.gotHead) return Fail(response.error, 0);
  t_error = NET_ERROR_NONE;
  return 1;
}

int32_t InternetReadFile(uintptr_t file, void* buffer, uint32_t bytesToRead, uint32_t* bytesRead) {
  std::shared_ptr<Handle> h = Find(file, Kind::kRequest);
  if (h == nullptr) return 0;
  if (bytesRead == nullptr || (buffer == nullptr && bytesToRead != 0)) {
    return Fail(NET_ERROR_INVALID_PARAMETER, 0);
  }
  *bytesRead = 0;
  std::lock_guard<std::mutex> lock(h->mutex);
  if (!h->sent) return Fail(NET_ERROR_INCORRECT_HANDLE_STATE, 0);
  const TransferResult& response = h->transfer->result();
  if (!response.gotHead) return Fail(response.error, 0);
  // Fills the buffer unless the body ends first.
  size_t n = h->transfer->Read(static_cast<char*>(buffer), bytesToRead);
  *bytesRead = static_cast<uint32_t>(n);
  // The bytes that arrived are delivered first; a body that ended early
  // then fails, as the connection's end would.
  if (n == 0 && bytesToRead != 0 && !response.complete) return Fail(response.error, 0);
  t_error = NET_ERROR_NONE;
  return 1;
}

int32_t HttpQueryInfoA(uintptr_t request, uint32_t infoLevel, void* buffer, uint32_t* bufferLength,
                       uint32_t*) {
  std::shared_ptr<Handle> h = Find(request, Kind::kRequest);
  if (h == nullptr) return 0;
  if (bufferLength == nullptr) return Fail(NET_ERROR_INVALID_PARAMETER, 0);
  std::lock_guard<std::mutex> lock(h->mutex);
  if (!h->sent) return Fail(NET_ERROR_INCORRECT_HANDLE_STATE, 0);
  const TransferResult& response = h->transfer->result();
  if (!response.gotHead) return Fail(NET_ERROR_HEADER_NOT_FOUND, 0);
  bool number = (infoLevel & HTTP_QUERY_FLAG_NUMBER) != 0;
  switch (infoLevel & 0xFFFF) {
    case HTTP_QUERY_RAW_HEADERS_CRLF: return CopyOut(response.rawHeaders, buffer, bufferLength);
    case HTTP_QUERY_STATUS_CODE:
      if (number) return CopyNumber(static_cast<uint32_t>(response.status), buffer, bufferLength);
      return CopyOut(std::to_string(response.status), buffer, bufferLength);
    case HTTP_QUERY_STATUS_TEXT:
      return CopyOut(StatusText(response.rawHeaders), buffer, bufferLength);
    default: return Fail(NET_ERROR_HEADER_NOT_FOUND, 0);
  }
}

int32_t InternetCloseHandle(uintptr_t handle) {
  std::shared_ptr<Handle> doomed;  // released outside the lock
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_handles == nullptr) return Fail(NET_ERROR_INVALID_HANDLE, 0);
  auto it = g_handles->find(handle);
  if (it == g_handles->end()) return Fail(NET_ERROR_INVALID_HANDLE, 0);
  doomed = std::move(it->second);
  g_handles->erase(it);
  t_error = NET_ERROR_NONE;
  return 1;
}

uint32_t InternetLastError() { return t_error; }

}  // namespace tulora::net
