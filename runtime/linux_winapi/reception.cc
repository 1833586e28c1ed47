#include "runtime/linux_winapi/reception.h"

#include <openssl/x509_vfy.h>

#include <strings.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace tulora::net {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxReserve = 64u << 20;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The value of a "Name: value" line, when the name is `name`.
bool ValueOf(std::string_view line, std::string_view name, std::string_view* value) {
  if (line.size() <= name.size() || line[name.size()] != ':' ||
      strncasecmp(line.data(), name.data(), name.size()) != 0) {
    return false;
  }
  std::string_view v = line.substr(name.size() + 1);
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  *value = v;
  return true;
}

// A block that answers the request itself, not a proxy's answer to the
// CONNECT that opens a tunnel: the request has gone out by then.
bool AnswersTheRequest(CURL* curl) {
  curl_off_t pretransfer = 0;
  curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
  return pretransfer > 0;
}

// The end of a header block: what the final response asks of the engine,
// and room for its body.
bool EndBlock(Exchange* ex) {
  ex->headDone = true;
  const int status = ex->result->status;
  if (status < 200 || !AnswersTheRequest(ex->curl)) return true;
  // Cookies come from the answer to the request only, never from a
  // proxy's answer to its CONNECT or an interim block.
  if (ex->jar != nullptr) {
    for (const std::string& value : ex->blockCookies) ex->jar->Store(ex->jarTarget, value);
  }
  ex->redirecting = ex->followRedirects && IsRedirect(status) && !ex->location.empty();
  if (ex->redirecting) ex->redirectSince = Clock::now();
  if (ex->headOnly) {
    ex->endedAfterHead = true;
    return false;
  }
  curl_off_t length = -1;
  curl_easy_getinfo(ex->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  size_t most = ex->collect ? kMaxReserve : ex->sinkLimit;
  if (length > 0 && !ex->redirecting) ex->sink->Reserve(std::min<size_t>(length, most));
  return true;
}

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
// a new block (after an interim 100, a proxy CONNECT). An announced body
// gets its room at once: up to kMaxReserve when it is kept whole, up to
// the stage's limit when it is streamed (a small body takes no more than
// it needs). Lines after a block's end other than a new status line (the
// trailer of a chunked body) belong to no block. The Set-Cookie lines of a
// block go to the cookie jar at its end, when it answers the request.
size_t OnHeader(char* data, size_t size, size_t count, void* p) {
  auto* ex = static_cast<Exchange*>(p);
  std::string_view line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  std::string& block = ex->result->rawHeaders;
  if (line.substr(0, 5) == "HTTP/") {
    block.clear();
    ex->headDone = false;
    ex->location.clear();
    ex->blockCookies.clear();
    ex->result->status = ParseStatus(line);
  } else if (ex->headDone) {
    return size * count;
  }
  block.append(line).append("\r\n");
  std::string_view value;
  if (ValueOf(line, "Location", &value)) ex->location = value;
  if (ex->jar != nullptr && ValueOf(line, "Set-Cookie", &value)) {
    ex->blockCookies.emplace_back(value);
  }
  if (line.empty() && !EndBlock(ex)) return 0;  // a HEAD's head is all there is
  return size * count;
}

// A body that finds no more memory ends the transfer as a failed write.
// A stream's full stage pauses the transfer: the library keeps the bytes
// and reads nothing more from the socket until it is resumed.
size_t OnBody(char* data, size_t size, size_t count, void* p) {
  auto* ex = static_cast<Exchange*>(p);
  size_t n = size * count;
  if (ex->redirecting) {  // a redirect's own body goes nowhere, and not for long
    ex->redirectBodyBytes += n;
    if (ex->redirectBodyBytes <= kMaxRedirectBodyBytes) return n;
    ex->redirectBodyCut = true;
    return 0;
  }
  ex->bodyStarted = true;
  if (ex->bodyLimit != 0 && n > ex->bodyLimit - ex->sink->size()) {
    ex->overLimit = true;
    return 0;
  }
  if (ex->sinkLimit != 0 && !ex->sink->empty() && n > ex->sinkLimit - ex->sink->size()) {
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
    ex->lastActivity = now;
  }
  if (down != ex->lastDown || up != ex->last_up) {
    ex->lastDown = down;
    ex->last_up = up;
    ex->lastActivity = now;
  }
  if (ex->redirecting && now - ex->redirectSince > std::chrono::milliseconds(kMaxRedirectBodyMs)) {
    ex->redirectBodyCut = true;
    return 1;
  }
  uint32_t limit = up < up_total ? ex->send_timeout_ms : ex->receive_timeout_ms;
  if (limit == 0 || now - ex->lastActivity <= std::chrono::milliseconds(limit)) return 0;
  ex->timed_out = true;
  return 1;
}

// What a failed certificate check means in the platform's words.
uint32_t TlsError(CURL* curl) {
  long verify = X509_V_OK;
  curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verify);
  switch (verify) {
    case X509_V_OK:
      return NET_ERROR_CERT_COMMON_NAME_INVALID;  // the chain was fine, the name was not
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID: return NET_ERROR_CERT_DATE_INVALID;
    case X509_V_ERR_INVALID_PURPOSE: return NET_ERROR_SECURE_FAILURE;
    default: return NET_ERROR_INVALID_CA;
  }
}

uint32_t ErrorFor(CURLcode code, const Exchange& ex) {
  switch (code) {
    case CURLE_OK: return NET_ERROR_NONE;
    case CURLE_URL_MALFORMAT: return NET_ERROR_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return ex.result->status >= 300 ? NET_ERROR_REDIRECT_FAILED : NET_ERROR_UNRECOGNIZED_SCHEME;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return NET_ERROR_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT: return NET_ERROR_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT: return NET_ERROR_TIMEOUT;
    case CURLE_ABORTED_BY_CALLBACK: return ex.timed_out ? NET_ERROR_TIMEOUT : NET_ERROR_INTERNAL;
    case CURLE_PEER_FAILED_VERIFICATION: return TlsError(ex.curl);
    case CURLE_SSL_CONNECT_ERROR: return NET_ERROR_SECURE_FAILURE;
    case CURLE_TOO_MANY_REDIRECTS: return NET_ERROR_REDIRECT_FAILED;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY: return NET_ERROR_INVALID_SERVER_RESPONSE;
    case CURLE_SEND_ERROR: return NET_ERROR_CONNECTION_RESET;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR: return NET_ERROR_CONNECTION_ABORTED;
    default: return NET_ERROR_INTERNAL;
  }
}

}  // namespace

void Receive(Exchange* ex) {
  curl_easy_setopt(ex->curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(ex->curl, CURLOPT_HEADERDATA, ex);
  curl_easy_setopt(ex->curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(ex->curl, CURLOPT_WRITEDATA, ex);
  curl_easy_setopt(ex->curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(ex->curl, CURLOPT_XFERINFODATA, ex);
  curl_easy_setopt(ex->curl, CURLOPT_NOPROGRESS, 0L);
}

void StartLegReception(Exchange* ex) {
  ex->paused = ex->headDone = ex->bodyStarted = false;
  ex->redirecting = ex->endedAfterHead = ex->redirectBodyCut = false;
  ex->redirectBodyBytes = 0;
  ex->overLimit = false;
  ex->location.clear();
  ex->started = ex->timed_out = false;
  ex->lastDown = ex->last_up = -1;
  ex->result->status = 0;
  ex->result->rawHeaders.clear();
}

bool LegEndedByEngine(CURLcode code, const Exchange& ex) {
  if (ex.endedAfterHead) return code == CURLE_WRITE_ERROR;
  return ex.redirectBodyCut && (code == CURLE_WRITE_ERROR || code == CURLE_ABORTED_BY_CALLBACK);
}

void Conclude(CURLcode code, Exchange* ex) {
  if (ex->endedAfterHead && code == CURLE_WRITE_ERROR) code = CURLE_OK;
  TransferResult& out = *ex->result;
  out.complete = code == CURLE_OK;
  out.error = ex->overLimit ? NET_ERROR_OUT_OF_MEMORY : ErrorFor(code, *ex);
  long connect_code = 0;
  curl_easy_getinfo(ex->curl, CURLINFO_HTTP_CONNECTCODE, &connect_code);
  bool body_phase = ex->bodyStarted || code == CURLE_OK || code == CURLE_PARTIAL_FILE ||
                    code == CURLE_RECV_ERROR || code == CURLE_OPERATION_TIMEDOUT ||
                    (code == CURLE_ABORTED_BY_CALLBACK && ex->timed_out);
  out.tunnelRefused = code != CURLE_OK && ex->headDone && connect_code >= 300;
  out.gotHead = ex->headDone && (body_phase || out.tunnelRefused);
  if (!out.gotHead) {
    out.status = 0;
    out.rawHeaders.clear();
  }
}

}  // namespace tulora::net
