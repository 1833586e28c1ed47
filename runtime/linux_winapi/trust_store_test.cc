// The certificate store the TLS set-up shares between transfers: what
// SSL_CERT_FILE holds counts from the next request on, also when the file is
// rewritten in place, and concurrent transfers share the store safely. TLS
// sessions are resumed across transfers, only under the checks they were
// made under.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "runtime/linux_winapi/curl_transfer.h"
#include "tests/support/net_test_support.h"

namespace tulora::net {
namespace {

using testsite::Reply;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TrustTest : public NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    ASSERT_TRUE(other_.Start());
    site_.Route("/s", Reply::Text(200, "first"));
    other_.Route("/s", Reply::Text(200, "second"));
    trust_file_ = site_.cert_file() + ".trust";
  }
  void TearDown() override {
    other_.Stop();
    std::remove(trust_file_.c_str());
    NetTest::TearDown();
  }

  static TransferResult Fetch(const testsite::TestSite& site, uint32_t tls_ignore = 0) {
    TransferRequest r;
    r.url = site.Url(true, "/s");
    r.tls_ignore = tls_ignore;
    return PerformTransfer(r);
  }

  void WriteTrust(const std::string& content) {
    std::ofstream(trust_file_, std::ios::binary | std::ios::trunc) << content;
    setenv("SSL_CERT_FILE", trust_file_.c_str(), 1);
  }

  testsite::TestSite other_;
  std::string trust_file_;
};

TEST_F(TrustTest, FileRewrittenInPlaceCountsFromTheNextRequest) {
  const std::string first = ReadText(site_.cert_file()), second = ReadText(other_.cert_file());
  const std::string empty;
  ASSERT_FALSE(first.empty());
  ASSERT_NE(first, second) << "the two sites need certificates of their own";
  struct Case {
    const char* name;
    const std::string* content;  // nullptr: SSL_CERT_FILE not set
    const std::string* extra;
    bool firstTrusted, secondTrusted;
  };
  const Case cases[] = {
      {"unset", nullptr, nullptr, false, false},
      {"first", &first, nullptr, true, false},
      {"second, same path", &second, nullptr, false, true},
      {"both", &first, &second, true, true},
      {"first again", &first, nullptr, true, false},
      {"empty file", &empty, nullptr, false, false},
      {"unset again", nullptr, nullptr, false, false},
  };
  for (const Case& c : cases) {
    if (c.content == nullptr) {
      unsetenv("SSL_CERT_FILE");
    } else {
      std::ofstream(trust_file_, std::ios::binary | std::ios::trunc)
          << *c.content << (c.extra ? *c.extra : std::string());
      setenv("SSL_CERT_FILE", trust_file_.c_str(), 1);
    }
    const TransferResult a = Fetch(site_), b = Fetch(other_);
    EXPECT_EQ(a.complete, c.firstTrusted) << c.name;
    EXPECT_EQ(a.body, c.firstTrusted ? "first" : "") << c.name;
    EXPECT_EQ(a.error, c.firstTrusted ? NET_ERROR_NONE : NET_ERROR_INVALID_CA) << c.name;
    EXPECT_EQ(b.complete, c.secondTrusted) << c.name;
    EXPECT_EQ(b.error, c.secondTrusted ? NET_ERROR_NONE : NET_ERROR_INVALID_CA) << c.name;
  }
}

TEST_F(TrustTest, SessionsAreResumedOnlyUnderTheChecksTheyWereMadeUnder) {
  const std::string first = ReadText(site_.cert_file()), second = ReadText(other_.cert_file());
  WriteTrust(first);
  struct Step {
    const char* name;
    bool trustChanges;  // the trust file gets the other site's certificate too
    uint32_t tls_ignore;
    bool resumed;
  };
  const Step steps[] = {
      {"first connection", false, 0, false},
      {"second, same checks", false, 0, true},
      {"an unknown issuer let pass", false, TLS_IGNORE_UNKNOWN_CA, false},
      {"that again", false, TLS_IGNORE_UNKNOWN_CA, true},
      {"the strict checks once more", false, 0, true},
      {"trusted certificates changed", true, 0, false},
  };
  for (const Step& step : steps) {
    if (step.trustChanges) WriteTrust(first + second);
    site_.ClearLog();
    const TransferResult r = Fetch(site_, step.tls_ignore);
    EXPECT_TRUE(r.complete) << step.name;
    ASSERT_EQ(site_.LogSize(), 1u) << step.name;
    EXPECT_EQ(site_.Log()[0].resumedTls, step.resumed) << step.name;
  }
}

TEST_F(TrustTest, ConcurrentTransfersShareTheStore) {
  TrustSite();
  constexpr int kThreads = 6, kEach = 5;
  std::vector<int> good(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const TransferResult r = Fetch(site_);
        if (r.complete && r.body == "first") ++good[t];
        // The other site stays untrusted while the store is shared.
        if (!Fetch(other_).complete) ++good[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(good[t], 2 * kEach) << t;
  EXPECT_EQ(site_.LogSize(), static_cast<size_t>(kThreads * kEach));
  EXPECT_EQ(other_.LogSize(), 0u);
}

}  // namespace
}  // namespace tulora::net
