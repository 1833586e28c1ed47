// The certificate store the TLS set-up shares between transfers: what
// SSL_CERT_FILE holds counts from the next request on, also when the file is
// rewritten in place, and concurrent transfers share the store safely.
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

  static TransferResult Fetch(const testsite::TestSite& site) {
    TransferRequest r;
    r.url = site.Url(true, "/s");
    return PerformTransfer(r);
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
