#include "runtime/linux_winapi/curl_transfer.h"

#include <curl/curl.h>
#include <openssl/x509_vfy.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/linux_winapi/cookie_share.h"
#include "runtime/linux_winapi/curl_init.h"
#include "runtime/linux_winapi/header_lists.h"
#include "runtime/linux_winapi/trust_store.h"

namespace tulora::net {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxRedirects = 10;
constexpr size_t kMaxReserve = 64u << 20;
constexpr long kReceiveBuffer = 256L << 10;  // bytes asked of the socket at a time
// A streamed body waits here for its reader: two reads of the socket.
constexpr size_t kStageBytes = 2 * kReceiveBuffer;

// ---- receiving ------------------------------------------------------------

struct Exchange {
  CURL* curl = nullptr;
  TransferResult* result = nullptr;
  BodyBuffer* sink = nullptr;  // where the body goes: the result's, or a stream's stage
  bool collect = false;        // the whole body is kept (room reserved for it at once)
  size_t sink_limit = 0;       // a stream's stage holds no more than this, 0: no limit
  bool paused = false;         // the library holds back body bytes the stage had no room for
  bool head_done = false;
  bool body_started = false;   // the final response's body began
  // Pause watch for the send and receive timeouts.
  uint32_t send_timeout_ms = 0, receive_timeout_ms = 0;
  bool started = false, timed_out = false;
  curl_off_t last_down = -1, last_up = -1;
  Clock::time_point last_activity;
};

int ParseStatus(std::string_view line) {
  size_t space = line.find(' ');
  int status = 0;
  for (size_t i = space + 1; space != std::string_view::npos && i < line.size(); ++i) {
    if (line[i] < '0' || line[i] > '9' || status > 99) break;
    status = status * 10 + (line[i] - '0');
  }
  return status;
}

// Keeps the header block of the latest response only: a status line starts
// a new block (after an interim 100, a followed redirect, a proxy CONNECT).
// An announced body gets its room at once: up to kMaxReserve when it is
// kept whole, up to the stage's limit when it is streamed (a small body
// takes no more than it needs). Lines after a block's end other than a new
// status line (the trailer of a chunked body) belong to no block.
size_t OnHeader(char* data, size_t size, size_t count, void* p) {
  auto* ex = static_cast<Exchange*>(p);
  std::string_view line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  std::string& block = ex->result->raw_headers;
  if (line.substr(0, 5) == "HTTP/") {
    block.clear();
    ex->head_done = false;
    ex->result->status = ParseStatus(line);
  } else if (ex->head_done) {
    return size * count;
  }
  block.append(line).append("\r\n");
  if (line.empty()) {
    ex->head_done = true;
    curl_off_t length = -1;
    curl_easy_getinfo(ex->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    size_t most = ex->collect ? kMaxReserve : ex->sink_limit;
    if (length > 0) ex->sink->Reserve(std::min<size_t>(length, most));
  }
  return size * count;
}

// A body that finds no more memory ends the transfer as a failed write.
// A stream's full stage pauses the transfer: the library keeps the bytes
// and reads nothing more from the socket until it is resumed.
size_t OnBody(char* data, size_t size, size_t count, void* p) {
  auto* ex = static_cast<Exchange*>(p);
  size_t n = size * count;
  ex->body_started = true;
  if (ex->sink_limit != 0 && !ex->sink->empty() && n > ex->sink_limit - ex->sink->size()) {
    ex->paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  return ex->sink->Append(data, n) ? n : 0;
}

// Ends the transfer when nothing moved for longer than the send or receive
// timeout allows, counting from the moment the connection was ready.
int OnProgress(void* p, curl_off_t, curl_off_t down, curl_off_t up_total, curl_off_t up) {
  auto* ex = static_cast<Exchange*>(p);
  Clock::time_point now = Clock::now();
  if (!ex->started) {
    curl_off_t pretransfer = 0;
    curl_easy_getinfo(ex->curl, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    if (pretransfer <= 0) return 0;
    ex->started = true;
    ex->last_activity = now;
  }
  if (down != ex->last_down || up != ex->last_up) {
    ex->last_down = down;
    ex->last_up = up;
    ex->last_activity = now;
  }
  uint32_t limit = up < up_total ? ex->send_timeout_ms : ex->receive_timeout_ms;
  if (limit == 0 || now - ex->last_activity <= std::chrono::milliseconds(limit)) return 0;
  ex->timed_out = true;
  return 1;
}

void SetMethod(CURL* curl, const TransferRequest& r) {
  if (r.method == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    return;
  }
  if (r.send_body) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, r.body.c_str());
    if (r.method != "POST") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, r.method.c_str());
  } else if (r.method == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, r.method.c_str());
  }
}

std::string RedirectSchemes(const TransferRequest& r) {
  bool secure = strncasecmp(r.url.c_str(), "https:", 6) == 0;
  if (secure) return r.redirect_to_http ? "http,https" : "https";
  return r.redirect_to_https ? "http,https" : "http";
}

void SetConnection(CURL* curl, const TransferRequest& r, std::string* proxy_url) {
  curl_easy_setopt(curl, CURLOPT_URL, r.url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION,
                   r.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  if (r.proxy_mode == ProxyMode::kDirect) {
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
  } else if (r.proxy_mode == ProxyMode::kServer) {
    *proxy_url = r.proxy.find("://") == std::string::npos ? "http://" + r.proxy : r.proxy;
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy_url->c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
  }
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, r.follow_redirects ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, RedirectSchemes(r).c_str());
  if (r.cookie_store) {
    curl_easy_setopt(curl, CURLOPT_SHARE, CookieShare());
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
  }
  if (!r.user_agent.empty()) curl_easy_setopt(curl, CURLOPT_USERAGENT, r.user_agent.c_str());
  if (r.connect_timeout_ms > 0) {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(r.connect_timeout_ms));
  }
}

uint32_t TlsError(CURL* curl) {
  long verify = X509_V_OK;
  curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verify);
  switch (verify) {
    case X509_V_OK:
      return kErrorCertCommonNameInvalid;  // the chain was fine, the name was not
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return kErrorCertDateInvalid;
    case X509_V_ERR_INVALID_PURPOSE:
      return kErrorSecureFailure;
    default:
      return kErrorInvalidCa;
  }
}

uint32_t ErrorFor(CURLcode code, const Exchange& ex) {
  switch (code) {
    case CURLE_OK: return kErrorNone;
    case CURLE_URL_MALFORMAT: return kErrorInvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL: return ex.result->status >= 300 ? kErrorRedirectFailed
                                                                     : kErrorUnrecognizedScheme;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return kErrorNameNotResolved;
    case CURLE_COULDNT_CONNECT: return kErrorCannotConnect;
    case CURLE_OPERATION_TIMEDOUT: return kErrorTimeout;
    case CURLE_ABORTED_BY_CALLBACK: return ex.timed_out ? kErrorTimeout : kErrorInternal;
    case CURLE_PEER_FAILED_VERIFICATION: return TlsError(ex.curl);
    case CURLE_SSL_CONNECT_ERROR: return kErrorSecureFailure;
    case CURLE_TOO_MANY_REDIRECTS: return kErrorRedirectFailed;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY: return kErrorInvalidServerResponse;
    case CURLE_SEND_ERROR: return kErrorConnectionReset;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR: return kErrorConnectionAborted;
    default: return kErrorInternal;
  }
}

// Failures after the header block (a cut body, a stall) still leave the
// response standing; so does a proxy that refused the tunnel with a status.
void Conclude(CURLcode code, Exchange* ex) {
  TransferResult& out = *ex->result;
  out.complete = code == CURLE_OK;
  out.error = ErrorFor(code, *ex);
  long connect_code = 0;
  curl_easy_getinfo(ex->curl, CURLINFO_HTTP_CONNECTCODE, &connect_code);
  bool body_phase = ex->body_started || code == CURLE_OK || code == CURLE_PARTIAL_FILE ||
                    code == CURLE_RECV_ERROR || code == CURLE_OPERATION_TIMEDOUT ||
                    (code == CURLE_ABORTED_BY_CALLBACK && ex->timed_out);
  out.tunnel_refused = code != CURLE_OK && ex->head_done && connect_code >= 300;
  out.got_head = ex->head_done && (body_phase || out.tunnel_refused);
  if (!out.got_head) {
    out.status = 0;
    out.raw_headers.clear();
  }
}

// How long to wait for the socket before the transfer library is asked
// again: at most a second, and no later than a stall would end the
// transfer. The library shortens it further for its own timers.
int PollMs(const Exchange& ex) {
  constexpr long long kMaxPollMs = 1000;
  uint32_t limit = 0;
  for (uint32_t t : {ex.send_timeout_ms, ex.receive_timeout_ms}) {
    if (t != 0 && (limit == 0 || t < limit)) limit = t;
  }
  if (!ex.started || limit == 0) return kMaxPollMs;
  auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - ex.last_activity);
  return static_cast<int>(std::clamp<long long>(limit - idle.count() + 1, 1, kMaxPollMs));
}

}  // namespace

// One exchange on a multi handle of its own, driven only while a caller
// waits for it.
struct Transfer::Engine {
  TransferRequest request;  // the body and header lists must outlive the handle
  TransferResult result;
  Exchange ex;
  HeaderLists headers;
  std::string proxy_url;
  CURLM* multi = nullptr;
  BodyBuffer stage;         // streamed body: what arrived and was not read yet
  size_t stage_pos = 0;
  bool done = false;

  Engine(TransferRequest r, bool collect);
  ~Engine();
  void Finish(CURLcode code);
  void Resume();
  template <class Enough>
  void RunUntil(Enough enough);
};

Transfer::Engine::Engine(TransferRequest r, bool collect) : request(std::move(r)) {
  InitCurl();
  ex.result = &result;
  ex.collect = collect;
  ex.sink = collect ? &result.body : &stage;
  ex.sink_limit = collect ? 0 : kStageBytes;
  ex.send_timeout_ms = request.send_timeout_ms;
  ex.receive_timeout_ms = request.receive_timeout_ms;
  ex.curl = curl_easy_init();
  multi = curl_multi_init();
  if (ex.curl == nullptr || multi == nullptr) {
    result.error = kErrorInternal;
    done = true;
    return;
  }
  CURL* curl = ex.curl;
  SetConnection(curl, request, &proxy_url);
  SetTls(curl, request.tls_ignore);
  SetMethod(curl, request);
  BuildHeaders(request, request.proxy_mode == ProxyMode::kServer, &headers);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.server);
  curl_easy_setopt(curl, CURLOPT_PROXYHEADER, headers.proxy);
  curl_easy_setopt(curl, CURLOPT_HEADEROPT, CURLHEADER_SEPARATE);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &ex);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  // Larger reads than the library's 16 KiB: fewer calls per megabyte.
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &ex);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &ex);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  if (curl_multi_add_handle(multi, curl) != CURLM_OK) Finish(CURLE_OUT_OF_MEMORY);
}

Transfer::Engine::~Engine() {
  if (multi != nullptr && ex.curl != nullptr) curl_multi_remove_handle(multi, ex.curl);
  if (ex.curl != nullptr) curl_easy_cleanup(ex.curl);
  if (multi != nullptr) curl_multi_cleanup(multi);
}

// A transfer the library ends while it still holds back body bytes for a
// full stage would lose them: that is never reported as a whole body.
void Transfer::Engine::Finish(CURLcode code) {
  if (ex.paused && code == CURLE_OK) code = CURLE_WRITE_ERROR;
  Conclude(code, &ex);
  done = true;
}

// Lets a paused transfer go on; the bytes held back arrive in the stage at
// once, within the call.
void Transfer::Engine::Resume() {
  if (!ex.paused || done) return;
  ex.paused = false;
  CURLcode code = curl_easy_pause(ex.curl, CURLPAUSE_CONT);
  if (code != CURLE_OK) Finish(code);
}

// Drives the exchange until `enough()` holds or it ended. The time since
// the last call is the caller's, not a stall of the peer.
template <class Enough>
void Transfer::Engine::RunUntil(Enough enough) {
  if (ex.started) ex.last_activity = Clock::now();
  while (!done && !enough()) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) return Finish(CURLE_OUT_OF_MEMORY);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE) return Finish(message->data.result);
    }
    if (enough()) return;
    if (curl_multi_poll(multi, nullptr, 0, PollMs(ex), nullptr) != CURLM_OK) {
      return Finish(CURLE_OUT_OF_MEMORY);
    }
  }
}

Transfer::Transfer(TransferRequest request)
    : engine_(std::make_unique<Engine>(std::move(request), false)) {}

Transfer::~Transfer() = default;

void Transfer::AwaitHead() {
  Engine& e = *engine_;
  e.RunUntil([&e] { return e.ex.body_started; });
  if (!e.done) e.result.got_head = true;  // the body began after the final block
}

size_t Transfer::Read(char* out, size_t size) {
  Engine& e = *engine_;
  size_t copied = 0;
  while (copied < size) {
    if (e.stage_pos == e.stage.size()) {
      e.stage.Clear();
      e.stage_pos = 0;
      e.Resume();
      if (e.stage.empty()) e.RunUntil([&e] { return !e.stage.empty(); });
      if (e.stage.empty()) break;  // the body ended
    }
    size_t n = std::min(size - copied, e.stage.size() - e.stage_pos);
    memcpy(out + copied, e.stage.data() + e.stage_pos, n);
    e.stage_pos += n;
    copied += n;
  }
  return copied;
}

const TransferResult& Transfer::result() const { return engine_->result; }

TransferResult PerformTransfer(const TransferRequest& request) {
  Transfer::Engine engine(request, true);
  engine.RunUntil([] { return false; });
  return std::move(engine.result);
}

}  // namespace tulora::net
