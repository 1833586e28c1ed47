#include "runtime/linux_winapi/curl_transfer.h"

#include <curl/curl.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/linux_winapi/cookie_jar.h"
#include "runtime/linux_winapi/curl_init.h"
#include "runtime/linux_winapi/header_lists.h"
#include "runtime/linux_winapi/reception.h"
#include "runtime/linux_winapi/trust_store.h"
#include "runtime/linux_winapi/url_parts.h"
#include "runtime/memory/large_blocks.h"

namespace tulora::net {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxRedirects = 10;
constexpr long kReceiveBuffer = 64L << 10;  // bytes asked of the socket at a time
// A streamed body waits here for its reader: two reads of the socket. It
// stays below the heap's large blocks (kLargeBlockFrom): a stage used again
// and again gains nothing from a huge page, and clearing a fresh 2 MiB one
// for every request cost a start about 0.5 ms, at times much more.
constexpr size_t kStageBytes = 2 * kReceiveBuffer;
static_assert(kStageBytes < rt::kLargeBlockFrom);

void SetMethod(CURL* curl, const TransferRequest& r, const Leg& leg) {
  const std::string& method = leg.method;
  if (method == "HEAD" && !leg.sendBody) {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    return;
  }
  if (leg.sendBody) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, r.body.c_str());
    if (method != "POST") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (method == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
  }
}

// Where the leg goes and what its request line names. The texts set here
// live in `urlText` and `targetText` as long as the handle uses them.
void SetAddress(CURL* curl, const TransferRequest& r, const Leg& leg, std::string* urlText,
                std::string* targetText) {
  *urlText = leg.url;
  targetText->clear();
  if (!leg.parts.host.empty() && r.proxyMode == ProxyMode::kSystem) {
    const std::string authority =
        leg.parts.host + (leg.parts.port.empty() ? "" : ":" + leg.parts.port);
    *urlText = (leg.parts.secure ? "https://" : "http://") + authority + leg.target;
  } else if (!leg.parts.host.empty()) {
    *targetText = leg.target;
    if (r.proxyMode == ProxyMode::kServer && !leg.parts.secure) {
      *targetText = "http://" + leg.parts.host + ":" + leg.parts.Port() + leg.target;
    }
  }
  curl_easy_setopt(curl, CURLOPT_URL, urlText->c_str());
  curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
  if (!targetText->empty()) curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, targetText->c_str());
}

void SetConnection(CURL* curl, const TransferRequest& r, std::string* proxy_url) {
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION,
                   r.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  if (r.proxyMode == ProxyMode::kDirect) {
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
  } else if (r.proxyMode == ProxyMode::kServer) {
    *proxy_url = r.proxy.find("://") == std::string::npos ? "http://" + r.proxy : r.proxy;
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy_url->c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
  }
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);  // the engine follows them itself
  if (r.connect_timeout_ms > 0) {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(r.connect_timeout_ms));
  }
}

// May a redirect lead from `from` to `to`?
bool SchemeAllowed(const TransferRequest& r, const UrlParts& from, const UrlParts& to) {
  if (from.secure && !to.secure) return r.redirectToHttp;
  if (!from.secure && to.secure) return r.redirectToHttps;
  return true;
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
  auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - ex.lastActivity);
  return static_cast<int>(std::clamp<long long>(limit - idle.count() + 1, 1, kMaxPollMs));
}

}  // namespace

// One exchange on a multi handle of its own, driven only while a caller
// waits for it; one easy handle serves every leg, set up anew for each.
struct Transfer::Engine {
  TransferRequest request;  // the body and header lists must outlive the handle
  TransferResult result;
  Exchange ex;
  Leg leg;
  HeaderLists headers;
  std::string proxy_url, url_text, target_text;
  CURLM* multi = nullptr;
  std::vector<TrustHold> trust;  // every leg's, released after the handles
  BodyBuffer stage;  // streamed body: what arrived and was not read yet
  size_t stage_pos = 0;
  bool done = false;

  Engine(TransferRequest r, bool collect);
  ~Engine();
  void StartLeg();
  bool FollowRedirect();
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
  ex.sinkLimit = collect ? 0 : kStageBytes;
  ex.bodyLimit = collect ? request.max_body : 0;
  ex.send_timeout_ms = request.send_timeout_ms;
  ex.receive_timeout_ms = request.receive_timeout_ms;
  ex.followRedirects = request.followRedirects;
  ex.jar = request.cookies;
  ex.curl = curl_easy_init();
  multi = curl_multi_init();
  if (ex.curl == nullptr || multi == nullptr) {
    result.error = NET_ERROR_INTERNAL;
    done = true;
    return;
  }
  leg.method = request.method;
  leg.url = request.url;
  if (SplitUrl(leg.url, &leg.parts)) {
    leg.target = request.target.empty() ? leg.parts.target : request.target;
  }
  leg.sendBody = request.sendBody;
  StartLeg();
}

// Sets the handle up for `leg` and hands it to the multi handle. An
// address the URL parts could not be had from goes to the library as it
// stands, which then reports what is wrong with it.
void Transfer::Engine::StartLeg() {
  CURL* curl = ex.curl;
  if (leg.number > 1) {
    curl_multi_remove_handle(multi, curl);
    curl_easy_reset(curl);  // the connections stay with the multi handle
  }
  StartLegReception(&ex);
  ex.headOnly = leg.method == "HEAD" && leg.sendBody;
  leg.storedCookies.clear();
  if (ex.jar != nullptr && ParseCookieTarget(leg.url, &ex.jarTarget)) {
    leg.storedCookies = ex.jar->CookiesFor(ex.jarTarget);
  }
  SetAddress(curl, request, leg, &url_text, &target_text);
  SetConnection(curl, request, &proxy_url);
  trust.push_back(SetTls(curl, request.tls_ignore));
  SetMethod(curl, request, leg);
  headers.Clear();
  BuildHeaders(request, leg, request.proxyMode == ProxyMode::kServer, &headers);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.server);
  curl_easy_setopt(curl, CURLOPT_PROXYHEADER, headers.proxy);
  curl_easy_setopt(curl, CURLOPT_HEADEROPT, CURLHEADER_SEPARATE);
  Receive(&ex);
  // Larger reads than the library's 16 KiB: fewer calls per megabyte.
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  if (curl_multi_add_handle(multi, curl) != CURLM_OK) Finish(CURLE_OUT_OF_MEMORY);
}

// After a leg whose response was a redirect to follow: the next leg, or
// the end of the exchange when there may be none (too many, a Location
// that names no http or https URL, a scheme the request does not allow).
// True when the exchange goes on.
bool Transfer::Engine::FollowRedirect() {
  std::string next;
  UrlParts parts;
  if (leg.number > kMaxRedirects) {
    Finish(CURLE_TOO_MANY_REDIRECTS);
    return false;
  }
  if (!ResolveLocation(leg.url, ex.location, &next) || !SplitUrl(next, &parts)) {
    Finish(CURLE_UNSUPPORTED_PROTOCOL);  // told as a failed redirect
    return false;
  }
  if (!SchemeAllowed(request, leg.parts, parts)) {
    Finish(CURLE_UNSUPPORTED_PROTOCOL);
    if (request.style == HeaderStyle::kWinInet) {
      result.error =
          parts.secure ? NET_ERROR_HTTP_TO_HTTPS_ON_REDIRECT : NET_ERROR_HTTPS_TO_HTTP_ON_REDIRECT;
    }
    return false;
  }
  const int status = result.status;
  if ((status == 303 && leg.method != "HEAD") ||
      ((status == 301 || status == 302) && leg.method == "POST")) {
    leg.method = "GET";
    leg.sendBody = false;
  }
  ++leg.number;
  leg.hostChanged = parts.host != leg.parts.host || parts.Port() != leg.parts.Port();
  leg.url = next;
  leg.parts = parts;
  leg.target = parts.target;
  StartLeg();
  return !done;
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
  if (ex.started) ex.lastActivity = Clock::now();
  while (!done && !enough()) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) return Finish(CURLE_OUT_OF_MEMORY);
    int queued = 0;
    bool followed = false;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURLcode code = message->data.result;
      bool redirectEnded = code == CURLE_OK || LegEndedByEngine(code, ex);
      if (!ex.redirecting || !redirectEnded) return Finish(code);
      if (!FollowRedirect()) return;
      followed = true;
      break;  // the message queue belonged to the last leg
    }
    if (followed) continue;
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
  e.RunUntil([&e] { return e.ex.bodyStarted; });
  if (!e.done) e.result.gotHead = true;  // the body began after the final block
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
