#include "testsite.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "self_signed.h"

namespace tulora::testsite {
namespace {

int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends `request` over plain TCP and returns everything up to the close.
std::string Exchange(int port, const std::string& request) {
  int fd = Connect(port);
  if (fd < 0) return "connect failed";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string reply;
  char buf[4096];
  ssize_t n;
  while ((n = recv(fd, buf, sizeof buf, 0)) > 0) reply.append(buf, static_cast<size_t>(n));
  close(fd);
  return reply;
}

// The same over TLS; `ca_file` empty means the default trust store.
// Returns false when the handshake (certificate check included) fails.
bool TlsExchange(int port, const std::string& ca_file, const std::string& request,
                 std::string* reply) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  if (ca_file.empty()) {
    SSL_CTX_set_default_verify_paths(ctx);
  } else {
    SSL_CTX_load_verify_locations(ctx, ca_file.c_str(), nullptr);
  }
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  SSL* ssl = SSL_new(ctx);
  SSL_set1_host(ssl, "127.0.0.1");
  int fd = Connect(port);
  SSL_set_fd(ssl, fd);
  bool ok = SSL_connect(ssl) == 1;
  if (ok) {
    SSL_write(ssl, request.data(), static_cast<int>(request.size()));
    char buf[4096];
    int n;
    while ((n = SSL_read(ssl, buf, sizeof buf)) > 0) reply->append(buf, static_cast<size_t>(n));
  }
  SSL_free(ssl);
  close(fd);
  SSL_CTX_free(ctx);
  return ok;
}

class TestSiteTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(site_.Start()); }
  TestSite site_;
};

TEST_F(TestSiteTest, LogsRequestExactlyAsSentAndWritesScriptedReply) {
  Reply reply;
  reply.status = 201;
  reply.headerLines = {"set-COOKIE: a=1; path=/", "Set-Cookie: b=2", "X-Empty:"};
  reply.body = "created";
  site_.Route("/make", reply);
  const std::string request =
      "POST /make?q=1 HTTP/1.1\r\nhOST: 127.0.0.1\r\nX-Dup: 1\r\nx-dup: 2\r\n"
      "Content-Length: 5\r\n\r\nhello";
  EXPECT_EQ(Exchange(site_.httpPort(), request), FormatReplyHead(reply) + "created");
  std::vector<LoggedRequest> log = site_.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_FALSE(log[0].secure);
  EXPECT_EQ(log[0].raw, request);
  EXPECT_EQ(log[0].requestLine, "POST /make?q=1 HTTP/1.1");
  EXPECT_EQ(log[0].headerLines, (std::vector<std::string>{"hOST: 127.0.0.1", "X-Dup: 1", "x-dup: 2",
                                                          "Content-Length: 5"}));
  EXPECT_EQ(log[0].body, "hello");
}

TEST_F(TestSiteTest, DechunksRequestBodyButKeepsRawBytes) {
  const std::string request =
      "PUT /c HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"
      "3\r\nabc\r\nA;ext=1\r\n0123456789\r\n0\r\nTrailer: t\r\n\r\n";
  std::string reply = Exchange(site_.httpPort(), request);
  EXPECT_EQ(reply.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << reply;
  std::vector<LoggedRequest> log = site_.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].body, "abc0123456789");
  EXPECT_EQ(log[0].raw, request);
}

TEST_F(TestSiteTest, ExactRouteWinsOverPrefixAndUnknownPathsGet404) {
  site_.Route("/item/1.html", Reply::Text(200, "exact"));
  site_.RoutePrefix("/item/",
                    [](const LoggedRequest& r) { return Reply::Text(200, "p:" + r.Path()); });
  site_.RoutePrefix("/item/9", [](const LoggedRequest&) { return Reply::Text(500, "later"); });
  struct Case {
    const char* target;
    const char* status_line;
    const char* body;
  };
  const Case cases[] = {
      {"/item/1.html", "HTTP/1.1 200 OK", "exact"},
      {"/item/1.html?x", "HTTP/1.1 200 OK", "exact"},
      {"/item/9.html", "HTTP/1.1 200 OK", "p:/item/9.html"},
      {"/other", "HTTP/1.1 404 Not Found", "not found\n"},
  };
  for (const Case& c : cases) {
    std::string reply =
        Exchange(site_.httpPort(), std::string("GET ") + c.target + " HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(reply.substr(0, reply.find("\r\n")), c.status_line) << c.target;
    EXPECT_EQ(reply.substr(reply.find("\r\n\r\n") + 4), c.body) << c.target;
  }
}

TEST_F(TestSiteTest, HeadRequestGetsNoBody) {
  site_.Route("/h", Reply::Text(200, "0123456789"));
  std::string reply = Exchange(site_.httpPort(), "HEAD /h HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_NE(reply.find("Content-Length: 10\r\n"), std::string::npos);
  EXPECT_EQ(reply.size(), reply.find("\r\n\r\n") + 4);
}

TEST_F(TestSiteTest, CutReplyStopsMidBody) {
  Reply reply = Reply::Text(200, std::string(1000, 'x'));
  reply.cutAfter = 100;
  site_.Route("/cut", reply);
  std::string got = Exchange(site_.httpPort(), "GET /cut HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_NE(got.find("Content-Length: 1000\r\n"), std::string::npos);
  EXPECT_EQ(got.size() - (got.find("\r\n\r\n") + 4), 100u);
}

TEST_F(TestSiteTest, SlowReplyWaitsButStopIsNotHeldUp) {
  Reply reply = Reply::Text(200, "late");
  reply.delayMs = 300;
  site_.Route("/slow", reply);
  auto start = std::chrono::steady_clock::now();
  std::string got = Exchange(site_.httpPort(), "GET /slow HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(got.substr(got.size() - 4), "late");

  reply.delayMs = 60000;
  site_.Route("/stuck", reply);
  std::thread client([&] { Exchange(site_.httpPort(), "GET /stuck HTTP/1.1\r\nHost: h\r\n\r\n"); });
  while (site_.LogSize() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  start = std::chrono::steady_clock::now();
  site_.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  client.join();
}

TEST_F(TestSiteTest, TlsCertificateIsTrustedOnlyThroughItsFile) {
  std::ifstream cert(site_.cert_file());
  std::stringstream pem;
  pem << cert.rdbuf();
  EXPECT_EQ(pem.str().rfind("-----BEGIN CERTIFICATE-----", 0), 0u);
  // Its names: 127.0.0.1 as an address and, for clients that match host
  // names against DNS names only, as a DNS name too; localhost as well.
  const std::string text = pem.str();
  BIO* bio = BIO_new_mem_buf(text.data(), static_cast<int>(text.size()));
  X509* x509 = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  ASSERT_NE(x509, nullptr);
  const unsigned dnsOnly = X509_CHECK_FLAG_NEVER_CHECK_SUBJECT;
  EXPECT_EQ(X509_check_host(x509, "127.0.0.1", 0, dnsOnly, nullptr), 1);
  EXPECT_EQ(X509_check_host(x509, "localhost", 0, dnsOnly, nullptr), 1);
  EXPECT_EQ(X509_check_ip_asc(x509, "127.0.0.1", 0), 1);
  EXPECT_NE(X509_check_host(x509, "example.com", 0, dnsOnly, nullptr), 1);
  X509_free(x509);

  site_.Route("/s", Reply::Text(200, "secret"));
  std::string reply;
  ASSERT_TRUE(TlsExchange(site_.httpsPort(), site_.cert_file(),
                          "GET /s HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", &reply));
  EXPECT_EQ(reply.substr(reply.size() - 6), "secret");
  ASSERT_EQ(site_.LogSize(), 1u);
  EXPECT_TRUE(site_.Log()[0].secure);

  std::string refused;
  EXPECT_FALSE(TlsExchange(site_.httpsPort(), "", "GET /s HTTP/1.1\r\n\r\n", &refused));
  EXPECT_EQ(site_.LogSize(), 1u);
}

// Wine refuses a certificate whose ECDSA r or s is shorter than the
// curve's 32 bytes (one in about 128 signatures): among 600 certificates
// at least one such signature would come about nearly always.
TEST(SelfSigned, SignatureNumbersTakeTheCurvesFullSize) {
  for (int i = 0; i < 600; ++i) {
    SelfSigned identity;
    ASSERT_TRUE(identity.Make());
    const ASN1_BIT_STRING* signature = nullptr;
    X509_get0_signature(&signature, nullptr, identity.cert());
    const unsigned char* at = ASN1_STRING_get0_data(signature);
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &at, ASN1_STRING_length(signature));
    ASSERT_NE(sig, nullptr);
    EXPECT_EQ(BN_num_bytes(ECDSA_SIG_get0_r(sig)), 32) << "certificate " << i;
    EXPECT_EQ(BN_num_bytes(ECDSA_SIG_get0_s(sig)), 32) << "certificate " << i;
    ECDSA_SIG_free(sig);
  }
}

TEST(TestSite, TwoSitesGetDifferentPortsAndCertificates) {
  TestSite a, b;
  ASSERT_TRUE(a.Start());
  ASSERT_TRUE(b.Start());
  EXPECT_NE(a.httpsPort(), b.httpsPort());
  EXPECT_NE(a.httpPort(), a.httpsPort());
  EXPECT_NE(a.cert_file(), b.cert_file());
  EXPECT_EQ(a.Url(true, "/x"), "https://127.0.0.1:" + std::to_string(a.httpsPort()) + "/x");
  std::string cert = a.cert_file();
  a.Stop();
  EXPECT_NE(access(cert.c_str(), F_OK), 0) << "the certificate directory is removed at Stop";
}

}  // namespace
}  // namespace tulora::testsite
