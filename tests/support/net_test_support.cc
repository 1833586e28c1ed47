#include "tests/support/net_test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "runtime/linux_winapi/cookie_jar.h"

namespace tulora::net {
namespace {

// The proxy binary as found on PATH; empty when there is none.
std::string TinyproxyPath() {
  const char* path = getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
  size_t pos = 0;
  while (pos <= dirs.size()) {
    size_t end = dirs.find(':', pos);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(pos, end - pos) + "/tinyproxy";
    if (end > pos && access(candidate.c_str(), X_OK) == 0) return candidate;
    pos = end + 1;
  }
  return std::string();
}

bool Accepts(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

}  // namespace

void NetTest::SetUp() {
  unsetenv("SSL_CERT_FILE");
  unsetenv("http_proxy");
  unsetenv("https_proxy");
  ClearCookieStore();
  ASSERT_TRUE(site_.Start());
}

void NetTest::TearDown() {
  unsetenv("SSL_CERT_FILE");
  site_.Stop();
}

void NetTest::TrustSite() { setenv("SSL_CERT_FILE", site_.cert_file().c_str(), 1); }

int UnusedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

bool AuthProxy::Installed() { return !TinyproxyPath().empty(); }

bool AuthProxy::Start(std::string* why) {
  std::string binary = TinyproxyPath();
  if (binary.empty()) {
    *why = "tinyproxy is not installed (not found on PATH)";
    return false;
  }
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/tulora-proxy-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    *why = "cannot make a directory for the proxy's configuration";
    return false;
  }
  dir_ = pattern;
  port_ = UnusedPort();
  std::ofstream(dir_ + "/tinyproxy.conf")
      << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\nLogLevel Info\n"
      << "MaxClients 20\nAllow 127.0.0.1\nBasicAuth user password\n";
  pid_ = fork();
  if (pid_ == 0) {
    int log = open((dir_ + "/tinyproxy.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(log, 1);
    dup2(log, 2);
    std::string conf = dir_ + "/tinyproxy.conf";
    execl(binary.c_str(), "tinyproxy", "-d", "-c", conf.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500 && pid_ > 0; ++i) {
    if (Accepts(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  *why = "the proxy did not start listening; see " + dir_ + "/tinyproxy.log";
  return false;
}

AuthProxy::~AuthProxy() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  if (!dir_.empty()) {
    std::remove((dir_ + "/tinyproxy.conf").c_str());
    std::remove((dir_ + "/tinyproxy.log").c_str());
    rmdir(dir_.c_str());
  }
}

}  // namespace tulora::net
