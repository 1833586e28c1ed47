#include "runtime/linux_winapi/curl_transfer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "runtime/linux_winapi/lazy_libraries.h"
#include "tests/support/net_test_support.h"

namespace tulora::net {
namespace {

using testsite::Reply;
using Clock = std::chrono::steady_clock;

// Bytes that differ from their neighbours, and from 2 KiB further on.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 11));
  return bytes;
}

class TransferTest : public NetTest {
 protected:
  TransferRequest Get(const std::string& path) {
    TransferRequest r;
    r.url = site_.Url(false, path);
    return r;
  }
  // /cut: `body` cut after `cutAfter` bytes; /stall: five seconds between
  // head and body; /slow: five seconds before the head. Returns /cut's reply.
  Reply RouteFailures(std::string body, long cutAfter) {
    Reply cut = Reply::Text(200, std::move(body));
    cut.cutAfter = cutAfter;
    site_.Route("/cut", cut);
    Reply stall = Reply::Text(200, "late body");
    stall.bodyDelayMs = 5000;
    site_.Route("/stall", stall);
    Reply slow = Reply::Text(200, "late");
    slow.delayMs = 5000;
    site_.Route("/slow", slow);
    return cut;
  }
};

// The transfer library comes in with the first transfer, not before: the
// program's start does not wait for it. The variable set for its load is
// gone afterwards, and a value the environment had stays. Each run in a
// fresh process of its own.
TEST(TransferLibrary, IsLoadedByTheFirstTransfer) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char* given : {static_cast<const char*>(nullptr), "0"}) {
    EXPECT_EXIT(
        {
          if (CurlLibraryLoaded()) std::_Exit(3);
          if (given) setenv("GNUTLS_NO_IMPLICIT_INIT", given, 1);
          TransferRequest request;
          request.url = "http://127.0.0.1:9/";  // refused at once; the library is needed all the same
          request.connect_timeout_ms = 2000;
          const TransferResult result = PerformTransfer(request);
          const char* after = getenv("GNUTLS_NO_IMPLICIT_INIT");
          if (given ? after == nullptr || std::string(after) != given : after != nullptr) {
            std::_Exit(5);
          }
          std::_Exit(CurlLibraryLoaded() && result.error != NET_ERROR_NONE ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "")
        << (given ? given : "unset");
  }
}

TEST_F(TransferTest, SendsHeaderLinesUnchangedAndNothingExtra) {
  struct Case {
    std::vector<std::string> lines;
    std::vector<std::string> expected;  // what arrives after Host
  };
  const Case cases[] = {
      {{"X-A: 1", "x-b:2", "Accept: a/b"}, {"X-A: 1", "x-b:2", "Accept: a/b"}},
      {{"X-Empty:", "X-Sp: two  spaces "}, {"X-Empty:", "X-Sp: two  spaces "}},
      {{"no colon here", "Y: 1"}, {"Y: 1"}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    site_.ClearLog();
    TransferRequest r = Get("/h");
    r.headerLines = c.lines;
    TransferResult result = PerformTransfer(r);
    EXPECT_TRUE(result.complete);
    ASSERT_EQ(site_.LogSize(), 1u);
    testsite::LoggedRequest logged = site_.Log()[0];
    EXPECT_EQ(logged.requestLine, "GET /h HTTP/1.1");
    ASSERT_FALSE(logged.headerLines.empty());
    EXPECT_EQ(logged.headerLines[0].rfind("Host: 127.0.0.1:", 0), 0u);
    std::vector<std::string> rest(logged.headerLines.begin() + 1, logged.headerLines.end());
    EXPECT_EQ(rest, c.expected);
  }
}

TEST_F(TransferTest, UserAgentLineOfTheCallerWinsOverTheAgent) {
  TransferRequest r = Get("/ua");
  r.userAgent = "Agent/1";
  PerformTransfer(r);
  r.headerLines = {"user-agent: Mine"};
  PerformTransfer(r);
  auto log = site_.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Header("User-Agent"), "Agent/1");
  EXPECT_EQ(log[1].HeaderCount("User-Agent"), 1u);
  EXPECT_EQ(log[1].Header("User-Agent"), "Mine");
}

TEST_F(TransferTest, LargeBodyArrivesWhole) {
  const std::string big = Pattern(8u << 20);
  site_.Route("/big", Reply::Text(200, big));
  TransferResult result = PerformTransfer(Get("/big"));
  EXPECT_TRUE(result.complete);
  EXPECT_EQ(result.status, 200);
  EXPECT_TRUE(result.body == big);
}

TEST_F(TransferTest, PostBodyGoesOutAsGiven) {
  TransferRequest r = Get("/p");
  r.method = "POST";
  r.body = std::string("a=1\0b", 5);
  r.sendBody = true;
  PerformTransfer(r);
  r.method = "PUT";
  r.body.clear();
  PerformTransfer(r);
  auto log = site_.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].body, std::string("a=1\0b", 5));
  EXPECT_EQ(log[0].HeaderCount("Content-Type"), 0u);
  EXPECT_EQ(log[0].HeaderCount("Expect"), 0u);
  EXPECT_EQ(log[1].requestLine, "PUT /p HTTP/1.1");
  EXPECT_EQ(log[1].Header("Content-Length"), "0");
}

TEST_F(TransferTest, FailuresKeepWhatArrivedAndNameTheCause) {
  RouteFailures(std::string(5000, 'c'), 1200);

  TransferResult r = PerformTransfer(Get("/cut"));
  EXPECT_FALSE(r.complete);
  EXPECT_TRUE(r.gotHead);
  EXPECT_EQ(r.error, NET_ERROR_CONNECTION_ABORTED);
  EXPECT_EQ(r.body, std::string(1200, 'c'));

  for (const char* path : {"/stall", "/slow"}) {
    TransferRequest req = Get(path);
    req.receive_timeout_ms = 500;
    auto start = Clock::now();
    r = PerformTransfer(req);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000)) << path;
    EXPECT_FALSE(r.complete) << path;
    EXPECT_EQ(r.error, NET_ERROR_TIMEOUT) << path;
    EXPECT_EQ(r.gotHead, std::string(path) == "/stall") << path;
  }

  TransferRequest refused;
  refused.url = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";
  r = PerformTransfer(refused);
  EXPECT_EQ(r.error, NET_ERROR_CANNOT_CONNECT);
  EXPECT_FALSE(r.gotHead);
  EXPECT_EQ(r.status, 0);
}

TEST_F(TransferTest, KeepsOnlyTheFinalHeaderBlock) {
  Reply final_reply = Reply::Text(200, "there");
  final_reply.headerLines.push_back("X-Final: yes");
  site_.Route("/final", final_reply);
  site_.Route("/hop", Reply::Redirect(302, "/final"));
  TransferResult r = PerformTransfer(Get("/hop"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.rawHeaders, testsite::FormatReplyHead(final_reply));
  EXPECT_EQ(r.body, "there");
}

// ---- the body handed out piece by piece -------------------------------

// Reads the rest of `t`'s body in pieces of the sizes given, in turn.
std::string ReadAll(Transfer* t, std::initializer_list<size_t> sizes) {
  std::string got;
  std::string piece;
  for (size_t round = 0;; ++round) {
    piece.resize(sizes.begin()[round % sizes.size()]);
    size_t n = t->Read(piece.data(), piece.size());
    got.append(piece, 0, n);
    if (n < piece.size()) return got;
  }
}

TEST_F(TransferTest, StreamedBodyArrivesWholeWhateverTheReadSizes) {
  const std::string big = Pattern(9u << 20);
  site_.Route("/big", Reply::Text(200, big));
  site_.Route("/chunked", Reply::Chunked(big.substr(0, 3u << 20), 100000));
  site_.Route("/hop", Reply::Redirect(302, "/big"));
  struct Case {
    const char* path;
    size_t size;
    std::initializer_list<size_t> reads;
  } cases[] = {
      {"/big", big.size(), {1024}},
      {"/hop", big.size(), {7, 70000, 1024, 600000}},
      {"/chunked", 3u << 20, {1000, 1}},
  };
  for (const Case& c : cases) {
    Transfer t(Get(c.path));
    t.AwaitHead();
    ASSERT_TRUE(t.result().gotHead) << c.path;
    EXPECT_EQ(t.result().status, 200) << c.path;
    EXPECT_EQ(t.result().rawHeaders.substr(0, 15), "HTTP/1.1 200 OK") << c.path;
    std::string got = ReadAll(&t, c.reads);
    EXPECT_TRUE(t.result().complete) << c.path;
    EXPECT_EQ(t.result().error, NET_ERROR_NONE) << c.path;
    EXPECT_EQ(got.size(), c.size) << c.path;
    EXPECT_TRUE(got == big.substr(0, c.size)) << c.path;
    EXPECT_TRUE(t.result().body.empty()) << "a streamed body is not kept: " << c.path;
    EXPECT_EQ(t.Read(got.data(), 10), 0u) << "the end stays the end: " << c.path;
    EXPECT_EQ(t.result().rawHeaders.find("X-Trailer"), std::string::npos) << c.path;
  }
}

TEST_F(TransferTest, StreamedReaderTakingItsTimeIsNoStall) {
  const std::string big = Pattern(4u << 20);
  site_.Route("/big", Reply::Text(200, big));
  TransferRequest r = Get("/big");
  r.receive_timeout_ms = 300;
  Transfer t(r);
  t.AwaitHead();
  std::string got(1000, '\0');
  ASSERT_EQ(t.Read(got.data(), got.size()), got.size());
  std::this_thread::sleep_for(std::chrono::milliseconds(900));
  got += ReadAll(&t, {1024});
  EXPECT_TRUE(t.result().complete);
  EXPECT_EQ(t.result().error, NET_ERROR_NONE);
  EXPECT_TRUE(got == big);
}

TEST_F(TransferTest, StreamedFailuresComeAfterTheBytesThatArrived) {
  const Reply cut = RouteFailures(Pattern(3u << 20), (2u << 20) + 5);

  Transfer t(Get("/cut"));
  t.AwaitHead();
  EXPECT_TRUE(t.result().gotHead);
  std::string got = ReadAll(&t, {1024});
  EXPECT_TRUE(got == cut.body.substr(0, cut.cutAfter));
  EXPECT_FALSE(t.result().complete);
  EXPECT_EQ(t.result().error, NET_ERROR_CONNECTION_ABORTED);

  for (const char* path : {"/stall", "/slow"}) {
    TransferRequest req = Get(path);
    req.receive_timeout_ms = 500;
    auto start = Clock::now();
    Transfer timed(req);
    timed.AwaitHead();
    EXPECT_EQ(timed.result().gotHead, std::string(path) == "/stall") << path;
    char byte;
    EXPECT_EQ(timed.Read(&byte, 1), 0u) << path;
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000)) << path;
    EXPECT_FALSE(timed.result().complete) << path;
    EXPECT_EQ(timed.result().error, NET_ERROR_TIMEOUT) << path;
  }
}

TEST_F(TransferTest, StreamedTransferEndsAtOnceWhenDroppedMidBody) {
  site_.Route("/big", Reply::Text(200, Pattern(32u << 20)));
  auto start = Clock::now();
  {
    Transfer t(Get("/big"));
    t.AwaitHead();
    std::string piece(1u << 20, '\0');
    ASSERT_EQ(t.Read(piece.data(), piece.size()), piece.size());
  }
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000));
  site_.Route("/small", Reply::Text(200, "next"));
  TransferResult next = PerformTransfer(Get("/small"));
  EXPECT_TRUE(next.complete);
  EXPECT_EQ(next.body, "next");
}

}  // namespace
}  // namespace tulora::net
