// Fuzz target: any bytes as a server's response, fetched both ways an
// exchange runs (the whole body kept, and the body streamed through reads
// of changing sizes). Neither may crash or hang; both must agree whether a
// head arrived and, when one did, on the head, the body, whether it ended
// whole and why not.
//
// Input: two bytes that choose the read sizes, two bytes that say how many
// KiB of filler follow the response (bodies beyond the stream's stage),
// then the response as the server writes it. The server is a plain socket
// on 127.0.0.1 that reads the request head, writes the bytes and closes.
// Redirects are followed, every leg through that server as the proxy, so
// nothing leaves the machine whatever a Location names. The response's
// Set-Cookie lines go into a cookie jar, which then gives its line for the
// URL.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/linux_winapi/cookie_jar.h"
#include "runtime/linux_winapi/curl_transfer.h"

namespace {

using tulora::net::PerformTransfer;
using tulora::net::Transfer;
using tulora::net::TransferRequest;
using tulora::net::TransferResult;

class RawServer {
 public:
  // Starts listening; the port, or 0.
  int Start() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
      return 0;
    }
    std::thread([this] { Serve(); }).detach();
    return ntohs(addr.sin_port);
  }

  void SetResponse(std::string bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    response_ = std::move(bytes);
  }

 private:
  void Serve() {
    for (;;) {
      int client = accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      timeval limit{2, 0};
      setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
      // The whole request is read first: closing with unread bytes would
      // reset the connection and cut the response at a random point.
      std::string head;
      char buffer[4096];
      ssize_t n;
      while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 &&
             (n = recv(client, buffer, sizeof buffer, 0)) > 0) {
        head.append(buffer, n);
      }
      std::string response;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        response = response_;
      }
      for (size_t sent = 0; sent < response.size(); sent += n) {
        n = send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
      }
      close(client);
    }
  }

  int listener_ = -1;
  std::mutex mutex_;
  std::string response_;
};

int Port(RawServer** server) {
  static RawServer* s = new RawServer;
  static int port = s->Start();
  *server = s;
  return port;
}

// Read sizes from small to larger than the stage, in an order the input picks.
size_t NextReadSize(uint32_t* state) {
  static const size_t kSizes[] = {1, 7, 1024, 1024, 4096, 65536, 600000, 3};
  *state = *state * 1103515245u + 12345u;
  return kSizes[(*state >> 16) % (sizeof kSizes / sizeof kSizes[0])];
}

std::string ReadStreamed(Transfer* t, uint32_t seed) {
  t->AwaitHead();
  std::string body, piece;
  if (!t->result().gotHead) return body;
  for (;;) {
    piece.resize(NextReadSize(&seed));
    size_t n = t->Read(piece.data(), piece.size());
    body.append(piece, 0, n);
    if (n < piece.size()) return body;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  RawServer* server = nullptr;
  const int port = Port(&server);
  if (port == 0) return 0;
  const uint32_t seed = data[0] | data[1] << 8;
  const size_t filler = (data[2] | (data[3] & 0x07) << 8) * size_t{1024};  // under 2 MiB
  std::string response(reinterpret_cast<const char*>(data + 4), size - 4);
  static const std::string kFiller = [] {
    std::string bytes(size_t{2} << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<char>('a' + (i * 7 + i / 4093) % 26);
    return bytes;
  }();
  response.append(kFiller, 0, filler);
  server->SetResponse(std::move(response));

  TransferRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(port) + "/f";
  request.proxyMode = tulora::net::ProxyMode::kServer;
  request.proxy = "127.0.0.1:" + std::to_string(port);
  tulora::net::CookieJar jar;
  request.cookies = &jar;
  request.connect_timeout_ms = 5000;
  request.receive_timeout_ms = 5000;
  const TransferResult whole = PerformTransfer(request);
  Transfer streamed(request);
  const std::string body = ReadStreamed(&streamed, seed);
  const TransferResult& s = streamed.result();
  // Before a head, the library's verdict on bytes that are no response
  // depends on how they were split into reads (a line that never ends fails
  // as too long, or the bytes as no HTTP): only the failure is compared.
  tulora::net::CookieTarget target;
  if (!tulora::net::ParseCookieTarget(request.url, &target)) __builtin_trap();
  const std::string cookies = jar.CookiesFor(target);
  if (cookies.find_first_of("\r\n") != std::string::npos) __builtin_trap();
  if (whole.gotHead != s.gotHead) __builtin_trap();
  if (!whole.gotHead) return 0;
  if (whole.status != s.status || whole.rawHeaders != s.rawHeaders ||
      whole.complete != s.complete || whole.error != s.error || !(whole.body == body)) {
    __builtin_trap();
  }
  return 0;
}
