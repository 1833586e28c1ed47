#include "wire.h"

#include <gtest/gtest.h>

namespace tulora::testsite {
namespace {

struct HeadCase {
  const char* raw;
  bool complete;
  const char* method;
  const char* target;
  const char* version;
  std::vector<std::string> lines;
  size_t head_size;
};

TEST(ParseRequestHead, SplitsRequestLineAndKeepsHeaderLinesAsSent) {
  const HeadCase cases[] = {
      {"GET /a?b=1 HTTP/1.1\r\nHost: x\r\nuser-AGENT:  Z \r\n\r\nBODY",
       true,
       "GET",
       "/a?b=1",
       "HTTP/1.1",
       {"Host: x", "user-AGENT:  Z "},
       49},
      {"POST / HTTP/1.0\nA: 1\n\n", true, "POST", "/", "HTTP/1.0", {"A: 1"}, 22},
      {"GET / HTTP/1.1\r\nHost: x\r\n", false, "GET", "/", "HTTP/1.1", {"Host: x"}, 0},
      {"GET / HTTP/1.1\r\n", false, "GET", "/", "HTTP/1.1", {}, 0},
      {"", false, "", "", "", {}, 0},
      {"BREW\r\n\r\n", true, "BREW", "", "", {}, 8},
  };
  for (const HeadCase& c : cases) {
    LoggedRequest req;
    size_t head_size = 0;
    EXPECT_EQ(ParseRequestHead(c.raw, &req, &head_size), c.complete) << c.raw;
    EXPECT_EQ(req.method, c.method) << c.raw;
    EXPECT_EQ(req.target, c.target) << c.raw;
    EXPECT_EQ(req.version, c.version) << c.raw;
    EXPECT_EQ(req.headerLines, c.lines) << c.raw;
    EXPECT_EQ(head_size, c.head_size) << c.raw;
  }
}

TEST(LoggedRequest, HeaderLookupIgnoresCaseAndTrims) {
  LoggedRequest req;
  req.target = "/p/q?x=1?y";
  req.headerLines = {"Set-Thing: 1", "x-A:\t v \t", "X-a: second", "NoColon"};
  EXPECT_EQ(req.Header("x-a"), "v");
  EXPECT_EQ(req.HeaderCount("X-A"), 2u);
  EXPECT_EQ(req.Header("NoColon"), "");
  EXPECT_EQ(req.Header("Set"), "");
  EXPECT_EQ(req.Path(), "/p/q");
}

struct ReplyCase {
  Reply reply;
  const char* head;
};

TEST(FormatReplyHead, WritesLinesAsGivenAndAddsOnlyMissingFraming) {
  Reply plain;
  plain.body = "abc";
  Reply odd;
  odd.status = 299;
  odd.reason = "Odd Thing";
  odd.headerLines = {"set-COOKIE: a=1", "Set-Cookie: b=2", "Connection: keep-alive"};
  Reply framed;
  framed.status = 404;
  framed.headerLines = {"content-length: 99"};
  framed.body = "x";
  Reply chunked;
  chunked.headerLines = {"Transfer-Encoding: chunked"};
  Reply unknown;
  unknown.status = 599;
  unknown.addContentLength = false;
  const ReplyCase cases[] = {
      {plain, "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\n"},
      {odd,
       "HTTP/1.1 299 Odd Thing\r\nset-COOKIE: a=1\r\nSet-Cookie: b=2\r\nConnection: "
       "keep-alive\r\nContent-Length: 0\r\n\r\n"},
      {framed, "HTTP/1.1 404 Not Found\r\ncontent-length: 99\r\nConnection: close\r\n\r\n"},
      {chunked, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"},
      {unknown, "HTTP/1.1 599 \r\nConnection: close\r\n\r\n"},
  };
  for (const ReplyCase& c : cases) EXPECT_EQ(FormatReplyHead(c.reply), c.head);
}

TEST(Reply, RedirectCarriesLocation) {
  Reply r = Reply::Redirect(301, "https://127.0.0.1:1/x");
  EXPECT_EQ(r.status, 301);
  ASSERT_EQ(r.headerLines.size(), 1u);
  EXPECT_EQ(r.headerLines[0], "Location: https://127.0.0.1:1/x");
}

}  // namespace
}  // namespace tulora::testsite
