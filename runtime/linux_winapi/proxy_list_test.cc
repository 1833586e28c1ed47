#include "runtime/linux_winapi/proxy_list.h"

#include <gtest/gtest.h>

namespace tulora::net {
namespace {

struct Case {
  const char* list;
  bool secure;
  const char* proxy;
};

TEST(ProxyFor, ChoosesEntryForTheRequestScheme) {
  const Case cases[] = {
      {"", false, ""},
      {"p:8080", false, "p:8080"},
      {"p:8080", true, "p:8080"},
      {"http=p:8080", false, "p:8080"},
      {"http=p:8080", true, ""},  // an http-only proxy: https goes direct
      {"HTTPS=s:1", true, "s:1"},
      {"https=s:1", false, ""},
      {"http=h:1 https=s:2", true, "s:2"},
      {"http=h:1;https=s:2", false, "h:1"},
      {"g:3 http=h:1", false, "h:1"},  // the scheme's own entry wins
      {"g:3 http=h:1", true, "g:3"},
      {"  ;; a:1 ; b:2 ", false, "a:1"},
      {"ftp=f:21", false, ""},
      {"http=", false, ""},
      {"http://p:3128", false, "http://p:3128"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProxyFor(c.list, c.secure), c.proxy) << '"' << c.list << "\" secure=" << c.secure;
  }
}

}  // namespace
}  // namespace tulora::net
