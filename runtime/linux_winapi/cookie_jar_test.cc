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
  };
  for (const Row& row : rows) {
    CookieJar jar;
    for (const auto& [url, value] : row.set) jar.Store(At(url), value);
    EXPECT_EQ(jar.CookiesFor(At(row.request)), row.expected) << row.name;
  }
}

TEST(CookieJar, ClearEmptiesAndTheProcessJarIsOne) {
  ProcessCookieJar().Store(At("http://a.test/"), "p=1");
  EXPECT_EQ(ProcessCookieJar().CookiesFor(At("http://a.test/")), "p=1");
  ClearCookieStore();
  EXPECT_EQ(ProcessCookieJar().CookiesFor(At("http://a.test/")), "");
}

}  // namespace
}  // namespace tulora::net
