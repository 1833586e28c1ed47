// Receiving a response: the transfer library's header, body and progress
// callbacks fill one exchange's result, and its end is told in the
// platform's error numbers.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_RECEPTION_H
#define TULORA_RUNTIME_LINUX_WINAPI_RECEPTION_H

#include <curl/curl.h>
#include <stddef.h>
#include <stdint.h>

#include <chrono>
#include <string>
#include <vector>

#include "runtime/linux_winapi/body_buffer.h"
#include "runtime/linux_winapi/cookie_jar.h"
#include "runtime/linux_winapi/curl_transfer.h"

namespace tulora::net {

// One transfer as its callbacks see it: where the head and body go, and
// the watch on pauses of the peer.
struct Exchange {
  CURL* curl = nullptr;
  TransferResult* result = nullptr;
  BodyBuffer* sink = nullptr;  // where the body goes: the result's, or a stream's stage
  bool collect = false;        // the whole body is kept (room reserved for it at once)
  size_t sinkLimit = 0;        // a stream's stage holds no more than this, 0: no limit
  bool paused = false;         // the library holds back body bytes the stage had no room for
  bool headDone = false;
  bool bodyStarted = false;  // the final response's body began
  // Redirects the engine follows itself: a final response that is one
  // has its body read and dropped, and the exchange goes on elsewhere.
  bool followRedirects = false;
  bool redirecting = false;  // this leg's response is a redirect to follow
  std::string location;      // the Location line of the latest block
  // A redirect's own body, read and dropped: how much and since when; cut
  // when it went past kMaxRedirectBodyBytes or kMaxRedirectBodyMs.
  size_t redirectBodyBytes = 0;
  std::chrono::steady_clock::time_point redirectSince;
  bool redirectBodyCut = false;
  // The body kept whole goes no further than this (0: no limit); past it
  // the exchange ends, overLimit set.
  size_t bodyLimit = 0;
  bool overLimit = false;
  // A HEAD that carries a body: the library would wait for a response body,
  // so the transfer is ended once the head is in, and that is no failure.
  bool headOnly = false;
  bool endedAfterHead = false;
  CookieJar* jar = nullptr;  // takes each Set-Cookie line, set by a response to jarTarget
  CookieTarget jarTarget;
  std::vector<std::string> blockCookies;  // the Set-Cookie values of the latest block
  // Pause watch for the send and receive timeouts.
  uint32_t send_timeout_ms = 0, receive_timeout_ms = 0;
  bool started = false, timed_out = false;
  curl_off_t lastDown = -1, last_up = -1;
  std::chrono::steady_clock::time_point lastActivity;
};

// Hands what `ex->curl` receives, and its progress, to `ex`.
void Receive(Exchange* ex);

// Makes `ex` ready for the next leg of the exchange: nothing of the last
// leg's response stays, in it or in the result.
void StartLegReception(Exchange* ex);

// True when the library ended a leg with `code` only because the engine
// stopped reading it: a HEAD's head that was all there is, or a redirect's
// own body cut off. The exchange goes on as if the leg had ended well.
bool LegEndedByEngine(CURLcode code, const Exchange& ex);

// Settles the result after the library ended the transfer with `code`.
// Failures after the header block (a cut body, a stall) still leave the
// response standing; so does a proxy that refused the tunnel with a status.
void Conclude(CURLcode code, Exchange* ex);

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_RECEPTION_H
