// The local test site: an HTTPS and a plain HTTP server on 127.0.0.1 that
// answer with scripted replies and log every request exactly as received.
//
//   TestSite site;
//   site.Route("/a", Reply::Text(200, "hello"));
//   site.Start();                       // ports chosen by the system
//   ... request site.Url(true, "/a") ...
//   site.Log();                         // what went over the wire
//
// Tests trust the certificate by pointing SSL_CERT_FILE at cert_file().
#ifndef TULORA_TESTSITE_TESTSITE_H
#define TULORA_TESTSITE_TESTSITE_H

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "self_signed.h"
#include "wire.h"

namespace tulora::testsite {

class TestSite {
 public:
  using Handler = std::function<Reply(const LoggedRequest&)>;

  struct Options {
    int httpsPort = 0;  // 0: any free port
    int httpPort = 0;
    std::string certDir;  // empty: a new directory under $TMPDIR, removed at Stop
    int quietMs = 10000;  // a client that sends nothing for this long is dropped
  };

  TestSite();
  ~TestSite();  // stops the servers
  TestSite(const TestSite&) = delete;
  TestSite& operator=(const TestSite&) = delete;

  // Makes the certificate, writes it to cert_file() and starts both servers.
  bool Start(const Options& options);
  bool Start() { return Start(Options()); }
  void Stop();

  int httpsPort() const { return httpsPort_; }
  int httpPort() const { return http_port_; }
  const std::string& cert_file() const { return certFile_; }
  // "https://127.0.0.1:<port>" + path, or the http equivalent.
  std::string Url(bool secure, const std::string& path) const;

  // Replies for a path (the target without its query), any method and either
  // port. An exact Route wins over a prefix handler; among prefix handlers
  // the first registered that matches answers. Anything else gets a 404.
  void Route(const std::string& path, Reply reply);
  void RoutePrefix(const std::string& prefix, Handler handler);

  // Called with every request as it is logged, before it is answered; also
  // with one whose body could not be read (answered 413 without a route).
  using Observer = std::function<void(const LoggedRequest&)>;
  void Observe(Observer observer);

  std::vector<LoggedRequest> Log() const;
  size_t LogSize() const;
  void ClearLog();

  // Used by the connection threads.
  Reply Answer(const LoggedRequest& request);
  void Record(const LoggedRequest& request);
  bool stopping() const { return stopping_.load(); }
  int quietMs() const { return quietMs_; }

 private:
  struct Servers;
  bool PrepareCertDir(const std::string& dir);

  SelfSigned identity_;
  std::unique_ptr<Servers> servers_;
  std::thread https_thread_, httpThread_;
  std::atomic<bool> stopping_{false};
  int httpsPort_ = 0, http_port_ = 0;
  int quietMs_ = 10000;
  std::string cert_dir_, certFile_;
  bool ownCertDir_ = false;

  mutable std::mutex mutex_;
  std::map<std::string, Reply> routes_;
  std::vector<std::pair<std::string, Handler>> prefixes_;
  std::vector<LoggedRequest> log_;
  Observer observer_;
};

}  // namespace tulora::testsite

#endif  // TULORA_TESTSITE_TESTSITE_H
