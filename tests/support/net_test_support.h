// Test support for the HTTP back-ends: the in-process test site with its
// certificate, and a real Basic-authenticating proxy started per test.
#ifndef TULORA_TESTS_SUPPORT_NET_TEST_SUPPORT_H
#define TULORA_TESTS_SUPPORT_NET_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>

#include "testsite.h"

namespace tulora::net {

// Starts a test site and the test without SSL_CERT_FILE, so that its
// self-signed certificate is untrusted until TrustSite() is called.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void TrustSite();
  testsite::TestSite site_;
};

// A port on 127.0.0.1 where nothing listens (just released by the system).
int UnusedPort();

// tinyproxy on 127.0.0.1 with "BasicAuth user password", in foreground,
// stopped by the destructor.
class AuthProxy {
 public:
  ~AuthProxy();
  // False with a reason when the binary is missing or it does not start.
  bool Start(std::string* why);
  int port() const { return port_; }
  static bool Installed();

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string dir_;
};

}  // namespace tulora::net

#endif  // TULORA_TESTS_SUPPORT_NET_TEST_SUPPORT_H
