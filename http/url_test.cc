#include "http/url.h"

#include <gtest/gtest.h>

#include <string>

#include "image/values.h"
#include "tests/support/hosted_runtime.h"

namespace tulora {
namespace {

using hosted::TakeText;

TEST(UrlTest, HostPortAndPath) {
  struct Row {
    const char* url;
    const char* host;
    const char* hostWithPort;
    int32_t port;
    const char* path;
  } rows[] = {
      {"https://Ab.CD/a/b?x=1", "ab.cd", "ab.cd", 443, "/a/b?x=1"},
      {"HTTP://ab.cd:8080", "ab.cd", "ab.cd:8080", 8080, "/"},
      {"ab.cd/img/1.jpg", "ab.cd", "ab.cd", 80, "/img/1.jpg"},
      {"ab.cd:81", "ab.cd", "ab.cd:81", 81, "/"},
      {"https://ab.cd", "ab.cd", "ab.cd", 443, "/"},
      {"https://x.y.ab.cd/", "x.y.ab.cd", "x.y.ab.cd", 443, "/"},
      {"https://ab.cd?x=1", "ab.cd?x=1", "ab.cd?x=1", 443, "/"},
      {"ab.cd/?u=http://other/x", "other", "other", 80, "/x"},
      {"HTTPS://127.0.0.1:8443/images/img/12/3.jpg", "127.0.0.1", "127.0.0.1:8443", 8443,
       "/images/img/12/3.jpg"},
      {"http://Host.Example/Item/7.HTML", "host.example", "host.example", 80, "/Item/7.HTML"},
      {"https://ab.cd:444/x", "ab.cd", "ab.cd:444", 444, "/x"},
      {"https://ab.cd:/x", "ab.cd", "ab.cd:", 0, "/x"},
  };
  int64_t live = hosted::LiveBlocks();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.url);
    EXPECT_EQ(TakeText(UrlHost(r.url)), r.host);
    EXPECT_EQ(TakeText(UrlHost(r.url, true)), r.hostWithPort);
    EXPECT_EQ(UrlPort(r.url), r.port);
    EXPECT_EQ(TakeText(UrlPath(r.url)), r.path);
  }
  EXPECT_EQ(hosted::LiveBlocks(), live);
}

TEST(UrlTest, TextsThatAreNoUrls) {
  int64_t live = hosted::LiveBlocks();
  EXPECT_EQ(TakeText(UrlHost(nullptr)), "");
  EXPECT_EQ(UrlPort(nullptr), 80);
  EXPECT_EQ(TakeText(UrlPath(nullptr)), "/");
  EXPECT_EQ(TakeText(UrlHost("just words")), "just words");
  EXPECT_EQ(TakeText(UrlPath("http:///x")), "///x");  // empty host: "/" from the first byte
  EXPECT_EQ(UrlPort("https"), 443);
  EXPECT_EQ(hosted::LiveBlocks(), live);
}

}  // namespace
}  // namespace tulora
