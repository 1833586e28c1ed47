#include "runtime/linux_winapi/url_parts.h"

#include <gtest/gtest.h>

namespace tulora::net {
namespace {

TEST(UrlParts, SplitIntoWhatARequestIsMadeOf) {
  struct Row {
    const char* url;
    bool ok;
    const char* hostLine;
    const char* port;
    const char* target;
  };
  const Row rows[] = {
      {"http://a.test/x?y=1#f", true, "a.test", "80", "/x?y=1"},
      {"https://a.test:443/", true, "a.test", "443", "/"},
      {"https://a.test:8443", true, "a.test:8443", "8443", "/"},
      {"http://127.0.0.1:81/a/../b", true, "127.0.0.1:81", "81", "/a/../b"},
      {"http://[::1]:82/", true, "[::1]:82", "82", "/"},
      {"http://a.test/a b", true, "a.test", "80", "/a%20b"},
      {"ftp://a.test/", false, "", "", ""},
      {"/relative", false, "", "", ""},
  };
  for (const Row& row : rows) {
    UrlParts parts;
    ASSERT_EQ(SplitUrl(row.url, &parts), row.ok) << row.url;
    if (!row.ok) continue;
    EXPECT_EQ(parts.HostLine(), row.hostLine) << row.url;
    EXPECT_EQ(parts.Port(), row.port) << row.url;
    EXPECT_EQ(parts.target, row.target) << row.url;
  }
}

TEST(UrlParts, LocationResolvedAgainstTheUrlItAnswered) {
  struct Row {
    const char* location;
    const char* expected;  // "" when there is none
  };
  const char* base = "https://a.test:8443/d/e/page?q=1";
  const Row rows[] = {
      {"other", "https://a.test:8443/d/e/other"},  {"../up#frag", "https://a.test:8443/d/up"},
      {"/root/./x", "https://a.test:8443/root/x"}, {"?z=2", "https://a.test:8443/d/e/page?z=2"},
      {"//b.test/p", "https://b.test/p"},          {"http://c.test:81/q", "http://c.test:81/q"},
      {"ftp://d.test/", "ftp://d.test/"},
      {"http://user:pw@e.test/x", "http://e.test/x"},  // never credentials
      {"//u@f.test/", "https://f.test/"},
  };
  for (const Row& row : rows) {
    std::string out;
    EXPECT_EQ(ResolveLocation(base, row.location, &out), *row.expected != '\0') << row.location;
    EXPECT_EQ(out, row.expected) << row.location;
  }
}

}  // namespace
}  // namespace tulora::net
