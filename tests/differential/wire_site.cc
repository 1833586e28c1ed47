// tulora-wire-site: the test site with the replies the request driver's
// cases ask for, writing every request as it arrived to a log file.
//
//   tulora-wire-site LOG_FILE
//
// Prints "https_port=", "http_port=" and "cert_file=" lines, then serves
// until SIGINT or SIGTERM. A target /d/<case>/<kind>[?query] is answered
// by kind, also in the absolute form a proxy is asked with
// (http://<host>/d/...: the plain http port serves as a proxy that answers
// itself); the log gets one line per request: the case, a tab and every
// byte of the request escaped (printable ASCII stays, "\" is "\\", CR LF
// tab are \r \n \t, other bytes \xHH).
#include <signal.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "testsite.h"

namespace {

using tulora::testsite::LoggedRequest;
using tulora::testsite::Reply;

std::string Escape(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    if (b == '\\') {
      out += "\\\\";
    } else if (b == '\r') {
      out += "\\r";
    } else if (b == '\n') {
      out += "\\n";
    } else if (b == '\t') {
      out += "\\t";
    } else if (b >= 0x20 && b < 0x7f) {
      out += static_cast<char>(b);
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

// The site's https address under a host name, for redirects elsewhere.
struct Site {
  int httpsPort = 0, httpPort = 0;
  std::string Secure(const std::string& host) const {
    return "https://" + host + ":" + std::to_string(httpsPort);
  }
  std::string Plain() const { return "http://127.0.0.1:" + std::to_string(httpPort); }
};

// The reply for a kind of /d/<case>/<kind>.
Reply Answer(const Site& site, const std::string& caseName, const std::string& kind,
             const LoggedRequest& request) {
  const std::string plain = "/d/" + caseName + "/plain";
  if (kind == "plain") return Reply::Text(200, "plain reply of " + caseName + "\n");
  if (kind == "echo") {
    Reply reply = Reply::Text(200, request.body);
    reply.headerLines[0] = "Content-Type: application/octet-stream";
    return reply;
  }
  if (kind == "cookies") {
    Reply reply = Reply::Text(200, "cookies set\n");
    reply.headerLines.push_back("Set-Cookie: s1=one; Path=/");
    reply.headerLines.push_back("Set-Cookie: s2=two");
    return reply;
  }
  if (kind == "redirect") return Reply::Redirect(302, plain);
  if (kind == "redirect_secure") return Reply::Redirect(302, site.Secure("127.0.0.1") + plain);
  if (kind == "redirect_host") return Reply::Redirect(302, site.Secure("localhost") + plain);
  if (kind == "redirect_down") return Reply::Redirect(302, site.Plain() + plain);
  if (kind == "redirect_307") return Reply::Redirect(307, "/d/" + caseName + "/echo");
  if (kind == "redirect_cookie") {
    Reply reply = Reply::Redirect(302, plain);
    reply.headerLines.push_back("Set-Cookie: r1=leg; Path=/");
    return reply;
  }
  return Reply::Text(404, "no such page\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s LOG_FILE\n", argv[0]);
    return 2;
  }
  FILE* log = fopen(argv[1], "w");
  if (log == nullptr) {
    fprintf(stderr, "tulora-wire-site: cannot write %s\n", argv[1]);
    return 1;
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // the server threads inherit it

  std::mutex logMutex;
  tulora::testsite::TestSite site;
  Site addresses;
  // "/d/<case>/<kind>": the case is the second segment, the kind the rest.
  auto caseAndKind = [](const LoggedRequest& request, std::string* kind) {
    std::string path = request.Path();
    if (path.compare(0, 7, "http://") == 0) {
      const size_t slash = path.find('/', 7);
      path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    std::string caseName = "?";
    if (path.compare(0, 3, "/d/") == 0) {
      const size_t slash = path.find('/', 3);
      caseName = path.substr(3, slash == std::string::npos ? std::string::npos : slash - 3);
      if (slash != std::string::npos) *kind = path.substr(slash + 1);
    }
    return caseName;
  };
  // Every request is logged, also one whose body the site could not read.
  site.Observe([&](const LoggedRequest& request) {
    std::string kind;
    const std::string caseName = caseAndKind(request, &kind);
    std::lock_guard<std::mutex> lock(logMutex);
    fprintf(log, "%s\t%s\n", caseName.c_str(), Escape(request.raw).c_str());
    fflush(log);
  });
  auto handler = [&](const LoggedRequest& request) {
    std::string kind;
    const std::string caseName = caseAndKind(request, &kind);
    return Answer(addresses, caseName, kind, request);
  };
  site.RoutePrefix("/", handler);
  site.RoutePrefix("http://", handler);
  // Cases whose framing leaves the site waiting for a body that never comes
  // end after two seconds.
  tulora::testsite::TestSite::Options options;
  options.quietMs = 2000;
  if (!site.Start(options)) {
    fprintf(stderr, "tulora-wire-site: cannot start (no free port or no certificate)\n");
    return 1;
  }
  addresses.httpsPort = site.httpsPort();
  addresses.httpPort = site.httpPort();
  printf("https_port=%d\nhttp_port=%d\ncert_file=%s\n", site.httpsPort(), site.httpPort(),
         site.cert_file().c_str());
  fflush(stdout);
  int signalNumber = 0;
  sigwait(&stopSignals, &signalNumber);
  site.Stop();
  fclose(log);
  return 0;
}
