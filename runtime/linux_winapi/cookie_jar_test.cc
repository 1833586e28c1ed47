#include "runtime/linux_winapi/cookie_jar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tulora::net {
namespace {

CookieTarget At(const std::string& url) {
  CookieTarget target;
  EXPECT_TRUE(ParseCookieTarget(url, &target)) << url;
  return target;
}

TEST(CookieJar, WhatARequestGetsOfWhatResponsesSet) {
  struct Row {
    const char* name;
    std::vector<std::pair<const char*, const char*>> set;  // response URL, Set-Cookie value
    const char* request;
    const char* expected;
  };
  const Row rows[] = {
      {"host only, default path the folder",
       {{"http://a.test/d/page", "s=1"}},
       "http://a.test/d/other",
       "s=1"},
      {"default path not above its folder",
       {{"http://a.test/d/page", "s=1"}},
       "http://a.test/x",
       ""},
      {"path prefix only at a slash", {{"http://a.test/", "s=1; Path=/d"}}, "http://a.test/dd", ""},
      {"host only not for a sub-domain", {{"http://a.test/", "s=1"}}, "http://b.a.test/", ""},
      {"domain for its sub-domains",
       {{"http://a.test/", "s=1; Domain=.A.test"}},
       "http://b.a.test/",
       "s=1"},
      {"domain of another host refused",
       {{"http://a.test/", "s=1; Domain=b.test"}},
       "http://b.test/",
       ""},
      {"secure only over https",
       {{"https://a.test/", "s=1; Secure"}, {"https://a.test/", "t=2"}},
       "http://a.test/",
       "t=2"},
      {"longest path first, then first set",
       {{"http://a.test/", "a=1; Path=/"},
        {"http://a.test/", "b=2; Path=/d"},
        {"http://a.test/", "c=3; Path=/"}},
       "http://a.test/d/e",
       "b=2; a=1; c=3"},
      {"a new value keeps the place",
       {{"http://a.test/", "a=1"}, {"http://a.test/", "b=2"}, {"http://a.test/", "a=3"}},
       "http://a.test/",
       "a=3; b=2"},
      {"max-age 0 removes",
       {{"http://a.test/", "a=1"}, {"http://a.test/", "a=1; Max-Age=0"}},
       "http://a.test/",
       ""},
      {"expires in the past removes",
       {{"http://a.test/", "a=1"},
        {"http://a.test/", "a=1; Expires=Thu, 01 Jan 1970 00:00:01 GMT"}},
       "http://a.test/",
       ""},
      {"control byte refused", {{"http://a.test/", "a=1\rX: y"}}, "http://a.test/", ""},
      {"no name refused",
       {{"http://a.test/", "=1"}, {"http://a.test/", "noequals"}},
       "http://a.test/",
       ""},
      {"value trimmed, attributes any case",
       {{"http://a.test/x/y", " k = v ; PATH=/"}},
       "http://a.test/",
       "k=v"},
      {"public suffix refused",
       {{"http://a.example.com/", "s=1; Domain=com"}},
       "http://bank.com/",
       ""},
      {"public suffix refused, not even host-only",
       {{"http://a.example.com/", "s=1; Domain=com"}},
       "http://a.example.com/",
       ""},
      {"public suffix of its own host: host-only",
       {{"http://github.io/", "s=1; Domain=github.io"}},
       "http://x.github.io/",
       ""},
      {"IP address: host-only", {{"http://127.0.0.1/", "s=1; Domain=127.0.0.1"}}, "http://x.127.0.0.1/", ""},
      {"IP address: itself", {{"http://127.0.0.1/", "s=1; Domain=127.0.0.1"}}, "http://127.0.0.1/", "s=1"},
      {"IP address: another domain refused",
       {{"http://127.0.0.2/", "s=1; Domain=0.0.2"}},
       "http://127.0.0.2/",
       ""},
      {"max-age not digits: left out",
       {{"http://a.test/", "a=1"}, {"http://a.test/", "a=2; Max-Age=abc"}},
       "http://a.test/",
       "a=2"},
      {"max-age -1e9 is no number: no removal",
       {{"http://a.test/", "a=1"}, {"http://a.test/", "a=1; Max-Age=-1e9"}},
       "http://a.test/",
       "a=1"},
      {"max-age past 64 bits clamped",
       {{"http://a.test/", "a=1; Max-Age=9223372036854775807999"}},
       "http://a.test/",
       "a=1"},
      {"max-age negative removes",
       {{"http://a.test/", "a=1"}, {"http://a.test/", "a=1; Max-Age=-5"}},
       "http://a.test/",
       ""},
      {"secure not set by an http answer",
       {{"http://a.test/", "s=1; Secure"}},
       "https://a.test/",
       ""},
      {"secure not overwritten by an http answer",
       {{"https://a.test/", "s=1; Secure"}, {"http://a.test/", "s=2"}},
       "https://a.test/",
       "s=1"},
      {"secure not removed by an http answer",
       {{"https://a.test/", "s=1; Secure"}, {"http://a.test/", "s=1; Max-Age=0"}},
       "https://a.test/",
       "s=1"},
  };
  for (const Row& row : rows) {
    CookieJar jar;
    for (const auto& [url, value] : row.set) jar.Store(At(url), value);
    EXPECT_EQ(jar.CookiesFor(At(row.request)), row.expected) << row.name;
  }
}

// RFC 6265 section 6.1: 4096 bytes a cookie, 50 a domain, 3000 in all;
// the oldest go first.
TEST(CookieJar, KeepsTheLimitsOfABrowserOldestFirst) {
  CookieJar jar;
  const CookieTarget a = At("http://a.test/");
  jar.Store(a, "big=" + std::string(CookieJar::kMaxCookieBytes - 3, 'x'));
  jar.Store(a, "bigger=" + std::string(CookieJar::kMaxCookieBytes - 5, 'x'));
  EXPECT_EQ(jar.size(), 1u) << "4096 bytes of name and value kept, 4097 refused";
  for (int i = 0; i < 60; ++i) jar.Store(a, "c" + std::to_string(i) + "=1");
  EXPECT_EQ(jar.size(), CookieJar::kMaxPerDomain);
  std::string expected;
  for (int i = 10; i < 60; ++i) expected += (i > 10 ? "; c" : "c") + std::to_string(i) + "=1";
  EXPECT_EQ(jar.CookiesFor(a), expected) << "the domain's oldest went first";
  for (int d = 0; d < 61; ++d) {
    const CookieTarget host = At("http://d" + std::to_string(d) + ".test/");
    for (int i = 0; i < 50; ++i) jar.Store(host, "n" + std::to_string(i) + "=1");
  }
  EXPECT_EQ(jar.size(), CookieJar::kMaxCookies);
  EXPECT_EQ(jar.CookiesFor(a), "") << "the jar's oldest went first";
  EXPECT_EQ(jar.CookiesFor(At("http://d0.test/")), "");
  EXPECT_NE(jar.CookiesFor(At("http://d60.test/")), "");
}

TEST(CookieJar, ClearEmptiesAndTheProcessJarIsOne) {
  ProcessCookieJar().Store(At("http://a.test/"), "p=1");
  EXPECT_EQ(ProcessCookieJar().CookiesFor(At("http://a.test/")), "p=1");
  ClearCookieStore();
  EXPECT_EQ(ProcessCookieJar().CookiesFor(At("http://a.test/")), "");
}

}  // namespace
}  // namespace tulora::net
