#include "testsite.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace tulora::testsite {
namespace {

constexpr size_t kMaxLineBytes = 16384;      // one chunk-size line
constexpr size_t kMaxBodyBytes = 64u << 20;  // larger request bodies are refused

// Sleeps in short slices so that Stop() does not wait for a slow reply.
void Pause(const TestSite& site, int ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!site.stopping() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// The connection as cpp-httplib sees it. Every byte it consumes is kept in
// captured(), which is how the log gets the request exactly as sent; once a
// scripted reply has been written the stream is muted, so the library's own
// response goes nowhere.
class WireStream : public httplib::Stream {
 public:
  WireStream(int fd, SSL* ssl, const TestSite& site) : fd_(fd), ssl_(ssl), site_(site) {}

  bool is_readable() const override { return pos_ < len_ || WaitReadable(); }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    if (pos_ == len_ && !Fill()) return eof_ ? 0 : -1;
    size_t n = std::min(size, len_ - pos_);
    memcpy(ptr, buf_ + pos_, n);
    captured_.append(ptr, n);
    pos_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    if (muted_) return static_cast<ssize_t>(size);
    return RawWrite(ptr, size) ? static_cast<ssize_t>(size) : -1;
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  socket_t socket() const override { return fd_; }

  bool RawWrite(const char* data, size_t size);
  const std::string& captured() const { return captured_; }
  void Mute() { muted_ = true; }
  bool muted() const { return muted_; }
  void MarkCut() { cut_ = true; }
  bool cut() const { return cut_; }
  bool resumed() const { return ssl_ != nullptr && SSL_session_reused(ssl_) == 1; }

 private:
  bool WaitReadable() const;
  bool Fill();

  int fd_;
  SSL* ssl_;
  const TestSite& site_;
  char buf_[4096];
  size_t pos_ = 0, len_ = 0;
  bool eof_ = false, muted_ = false, cut_ = false;
  std::string captured_;
};

bool WireStream::WaitReadable() const {
  if (ssl_ != nullptr && SSL_pending(ssl_) > 0) return true;
  for (int waited = 0; waited < site_.quietMs() && !site_.stopping(); waited += 50) {
    pollfd pfd{fd_, POLLIN, 0};
    int r = poll(&pfd, 1, 50);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
  return false;
}

bool WireStream::Fill() {
  pos_ = len_ = 0;
  if (!WaitReadable()) return false;
  ssize_t n = ssl_ != nullptr ? SSL_read(ssl_, buf_, sizeof buf_) : recv(fd_, buf_, sizeof buf_, 0);
  if (n <= 0) {
    eof_ = n == 0 ||
           (ssl_ != nullptr && SSL_get_error(ssl_, static_cast<int>(n)) == SSL_ERROR_ZERO_RETURN);
    return false;
  }
  len_ = static_cast<size_t>(n);
  return true;
}

bool WireStream::RawWrite(const char* data, size_t size) {
  while (size > 0) {
    int chunk = static_cast<int>(std::min<size_t>(size, 1 << 20));
    ssize_t n =
        ssl_ != nullptr ? SSL_write(ssl_, data, chunk) : send(fd_, data, chunk, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The stream of the request being served on this thread (a connection is
// served start to end on one thread of the library's pool).
thread_local WireStream* t_stream = nullptr;

bool ReadExact(WireStream& s, size_t n, std::string* out) {
  char tmp[4096];
  while (n > 0) {
    ssize_t got = s.read(tmp, std::min(n, sizeof tmp));
    if (got <= 0) return false;
    out->append(tmp, static_cast<size_t>(got));
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool ReadLine(WireStream& s, std::string* line) {
  line->clear();
  char c = 0;
  while (line->size() < kMaxLineBytes) {
    if (s.read(&c, 1) != 1) return false;
    if (c == '\n') return true;
    if (c != '\r') line->push_back(c);
  }
  return false;
}

bool ReadChunked(WireStream& s, std::string* body) {
  std::string line;
  for (;;) {
    if (!ReadLine(s, &line)) return false;
    char* end = nullptr;
    unsigned long long size = strtoull(line.c_str(), &end, 16);
    if (end == line.c_str() || size > kMaxBodyBytes - body->size()) return false;
    if (size == 0) break;
    if (!ReadExact(s, static_cast<size_t>(size), body) || !ReadLine(s, &line)) return false;
  }
  do {  // trailer lines up to the blank line
    if (!ReadLine(s, &line)) return false;
  } while (!line.empty());
  return true;
}

// The library has read the head; the content is read here, so that it is
// captured too and so that every method may carry one.
bool ReadBody(WireStream& s, const httplib::Request& req, std::string* body) {
  std::string te = req.get_header_value("Transfer-Encoding");
  std::transform(te.begin(), te.end(), te.begin(), ::tolower);
  if (te.find("chunked") != std::string::npos) return ReadChunked(s, body);
  std::string length = req.get_header_value("Content-Length");
  if (length.empty()) return true;
  char* end = nullptr;
  unsigned long long n = strtoull(length.c_str(), &end, 10);
  if (end == length.c_str() || n > kMaxBodyBytes) return false;
  return ReadExact(s, static_cast<size_t>(n), body);
}

void SendReply(WireStream& s, const Reply& reply, bool head_request, const TestSite& site) {
  Pause(site, reply.delayMs);
  std::string head = FormatReplyHead(reply);
  if (!s.RawWrite(head.data(), head.size())) return;
  Pause(site, reply.bodyDelayMs);
  if (head_request) return;
  const std::string& body = reply.Body();
  size_t size = body.size();
  if (reply.cutAfter >= 0 && static_cast<size_t>(reply.cutAfter) < size) {
    size = static_cast<size_t>(reply.cutAfter);
    s.MarkCut();
  }
  bool written = s.RawWrite(body.data(), size);
  while (reply.repeatBody && written && size > 0 && !site.stopping()) {
    written = s.RawWrite(body.data(), size);
  }
}

void ServeRequest(TestSite& site, bool secure, const httplib::Request& req) {
  WireStream& s = *t_stream;
  LoggedRequest logged;
  logged.secure = secure;
  logged.resumedTls = s.resumed();
  bool body_ok = ReadBody(s, req, &logged.body);
  logged.raw = s.captured();
  size_t head_size = 0;
  ParseRequestHead(logged.raw, &logged, &head_size);
  site.Record(logged);
  Reply reply = body_ok ? site.Answer(logged) : Reply::Text(413, "request body refused\n");
  SendReply(s, reply, logged.method == "HEAD", site);
  s.Mute();
}

void SetSocketTimeouts(int fd, int ms) {
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// A cpp-httplib server whose connections go through WireStream. Each
// connection carries one request: every reply closes it.
template <class Base>
class WireServer : public Base {
 public:
  template <class... Args>
  WireServer(TestSite* site, bool secure, Args&&... args)
      : Base(std::forward<Args>(args)...), site_(site), secure_(secure) {
    this->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
      ServeRequest(*site_, secure_, req);
      return httplib::Server::HandlerResponse::Handled;
    });
  }

 private:
  bool process_and_close_socket(socket_t sock) override {
    SetSocketTimeouts(sock, site_->quietMs());
    SSL* ssl = nullptr;
    if constexpr (std::is_same_v<Base, httplib::SSLServer>) {
      ssl = SSL_new(this->ssl_context());
      if (ssl == nullptr || SSL_set_fd(ssl, sock) != 1 || SSL_accept(ssl) != 1) {
        SSL_free(ssl);
        close(sock);
        return false;
      }
    }
    WireStream stream(sock, ssl, *site_);
    t_stream = &stream;
    bool closed = false;
    this->process_request(stream, true, closed, [](httplib::Request&) {});
    t_stream = nullptr;
    if (!stream.muted() && !stream.captured().empty()) LogRejected(stream);
    // A cut reply ends without a TLS close_notify: the client sees the
    // connection drop in the middle of the body.
    if (ssl != nullptr && !stream.cut()) SSL_shutdown(ssl);
    shutdown(sock, SHUT_RDWR);
    close(sock);
    SSL_free(ssl);
    return true;
  }

  // The library answered by itself (a malformed head): log what came.
  void LogRejected(const WireStream& stream) {
    LoggedRequest logged;
    logged.secure = secure_;
    logged.raw = stream.captured();
    size_t head_size = 0;
    ParseRequestHead(logged.raw, &logged, &head_size);
    site_->Record(logged);
  }

  TestSite* site_;
  bool secure_;
};

// SO_REUSEADDR only: the library's default also sets SO_REUSEPORT, with
// which a second server on a port already in use starts without complaint
// and the two share its connections.
void ExclusiveSocketOptions(socket_t sock) {
  int yes = 1;
  setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

bool StartListening(httplib::Server& server, int port, int* bound, std::thread* thread) {
  server.set_socket_options(ExclusiveSocketOptions);
  if (port == 0) {
    *bound = server.bind_to_any_port("127.0.0.1");
  } else {
    *bound = server.bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (*bound <= 0) return false;
  *thread = std::thread([&server] { server.listen_after_bind(); });
  for (int i = 0; i < 5000 && !server.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return server.is_running();
}

}  // namespace

struct TestSite::Servers {
  Servers(TestSite* site, const SelfSigned& identity)
      : https(site, true, identity.cert(), identity.key(), nullptr), http(site, false) {}
  WireServer<httplib::SSLServer> https;
  WireServer<httplib::Server> http;
};

TestSite::TestSite() = default;

TestSite::~TestSite() { Stop(); }

bool TestSite::PrepareCertDir(const std::string& dir) {
  if (!dir.empty()) {
    cert_dir_ = dir;
    ownCertDir_ = false;
    return true;
  }
  const char* tmp = getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tulora-testsite-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return false;
  cert_dir_ = pattern;
  ownCertDir_ = true;
  return true;
}

bool TestSite::Start(const Options& options) {
  if (servers_ != nullptr) return false;
  signal(SIGPIPE, SIG_IGN);  // a client that hangs up must not end the process
  stopping_ = false;
  if (!PrepareCertDir(options.certDir) || !identity_.Make()) return false;
  certFile_ = cert_dir_ + "/testsite-cert.pem";
  if (!identity_.WriteCert(certFile_)) return false;
  quietMs_ = options.quietMs;
  servers_ = std::make_unique<Servers>(this, identity_);
  if (!servers_->https.is_valid() ||
      !StartListening(servers_->https, options.httpsPort, &httpsPort_, &https_thread_) ||
      !StartListening(servers_->http, options.httpPort, &http_port_, &httpThread_)) {
    Stop();
    return false;
  }
  return true;
}

void TestSite::Stop() {
  if (servers_ == nullptr) return;
  stopping_ = true;
  servers_->https.stop();
  servers_->http.stop();
  if (https_thread_.joinable()) https_thread_.join();
  if (httpThread_.joinable()) httpThread_.join();
  servers_.reset();
  if (ownCertDir_) {
    std::remove(certFile_.c_str());
    rmdir(cert_dir_.c_str());
  }
}

std::string TestSite::Url(bool secure, const std::string& path) const {
  return std::string(secure ? "https" : "http") +
         "://127.0.0.1:" + std::to_string(secure ? httpsPort_ : http_port_) + path;
}

void TestSite::Route(const std::string& path, Reply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(reply);
}

void TestSite::RoutePrefix(const std::string& prefix, Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  prefixes_.emplace_back(prefix, std::move(handler));
}

Reply TestSite::Answer(const LoggedRequest& request) {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string path = request.Path();
    auto it = routes_.find(path);
    if (it != routes_.end()) return it->second;
    for (const auto& [prefix, h] : prefixes_) {
      if (path.compare(0, prefix.size(), prefix) == 0) {
        handler = h;
        break;
      }
    }
  }
  return handler ? handler(request) : Reply::Text(404, "not found\n");
}

void TestSite::Record(const LoggedRequest& request) {
  Observer observer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(request);
    observer = observer_;
  }
  if (observer) observer(request);
}

void TestSite::Observe(Observer observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  observer_ = std::move(observer);
}

std::vector<LoggedRequest> TestSite::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

size_t TestSite::LogSize() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_.size();
}

void TestSite::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  log_.clear();
}

}  // namespace tulora::testsite
