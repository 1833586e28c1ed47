// The crawl's readers of response header blocks, and the WinHttp cookie
// collection, on the shapes a hostile or broken site can send.
#include "crawler/crawl.h"

#include <gtest/gtest.h>

#include <string>

#include "http/winhttp_request.h"
#include "image/values.h"
#include "tests/support/hosted_runtime.h"

namespace tulora {
namespace {

class HeaderBlockTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(hosted::LiveBlocks(), live_) << "leaked blocks"; }

 private:
  int64_t live_ = hosted::LiveBlocks();
};

TEST_F(HeaderBlockTest, StatusOfHeaderBlock) {
  struct Row {
    const char* headers;
    int32_t status;
  } rows[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", 200},
      {"HTTP/1.0 404", 404},
      {"HTTP/1.1 404 Not Found", 404},
      {"HTTP/2 204\r\n", 204},
      {"HTTP/1.1 301\nLocation: /x", 301},
      {"HTTP/1.1 503 ", 503},
      {"HTTP/1.1 200 OK\r\n\xD2\xB3\xC3\xE6: \xB2\xBB", 200},
      // No status line.
      {nullptr, 0},
      {"", 0},
      {"Content-Type: text/html\r\n\r\n", 0},
      {"\r\nHTTP/1.1 200 OK", 0},
      {" HTTP/1.1 200 OK", 0},
      {"http/1.1 200 OK", 0},
      {"X-HTTP/1.1 200 OK", 0},
      {"HTTP/", 0},
      {"HTTP/1.1", 0},
      {"HTTP/1.1 ", 0},
      {"HTTP/1.1\r\nX: 1 200", 0},  // the space is on a later line
      // Garbage where the code stands.
      {"HTTP/1.1 OK", 0},
      {"HTTP/1.1  200 OK", 0},
      {"HTTP/1.1 -200 OK", 0},
      {"HTTP/1.1 +200 OK", 0},
      {"HTTP/1.1 20 OK", 0},
      {"HTTP/1.1 2x0 OK", 0},
      {"HTTP/1.1 200OK", 0},
      {"HTTP/1.1 200\t", 0},
      // Over-long numbers never read as a status, however they start.
      {"HTTP/1.1 2000 OK", 0},
      {"HTTP/1.1 0200 OK", 0},
      {"HTTP/1.1 00000000000000000000200 OK", 0},
      {"HTTP/1.1 200000000000000000000000000 OK", 0},
      {"HTTP/1.1 99999999999999999999", 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(StatusOfHeaderBlock(row.headers), row.status)
        << (row.headers ? row.headers : "(null)");
  }
}

TEST_F(HeaderBlockTest, StatusOfAHugeBlock) {
  std::string block = "HTTP/1.1 206 Partial\r\n";
  for (int i = 0; i < 20000; ++i) block += "X-Filler: " + std::to_string(i) + "\r\n";
  EXPECT_EQ(StatusOfHeaderBlock(block.c_str()), 206);
  EXPECT_EQ(StatusOfHeaderBlock(("HTTP/1.1 " + std::string(100000, '2')).c_str()), 0);
}

TEST_F(HeaderBlockTest, BodyIsShort) {
  struct Row {
    const char* headers;
    uint32_t bodyLength;
    bool isShort;
  } rows[] = {
      // Lengths that agree.
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", 10, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0", 0, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0010\r\n", 10, false},
      {"HTTP/1.1 200 OK\r\nX: 1\r\nContent-Length:10\r\nY: 2", 10, false},
      // Lengths that differ, either way.
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", 9, true},
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", 11, true},
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", 0, true},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n", 1, true},
      // Any letter case of the name.
      {"HTTP/1.1 200 OK\r\ncontent-length: 7", 6, true},
      {"HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 7", 7, false},
      {"HTTP/1.1 200 OK\r\ncOnTeNt-LeNgTh: 7", 8, true},
      // Blanks around the value.
      {"HTTP/1.1 200 OK\r\nContent-Length:      42     \r\nX: y", 42, false},
      {"HTTP/1.1 200 OK\r\nContent-Length:\t42\t\r\n", 41, true},
      // No Content-Length line: nothing announced.
      {nullptr, 5, false},
      {"", 5, false},
      {"HTTP/1.1 200 OK\r\n\r\n", 5, false},
      {"HTTP/1.1 200 OK\r\nX-Content-Length: 3", 5, false},
      {"HTTP/1.1 200 OK\r\nContent-Length-X: 3", 5, false},
      {"HTTP/1.1 200 OK\r\nContent-Length : 3", 5, false},
      {"HTTP/1.1 200 OK\r\nX: Content-Length: 3", 5, false},
      // A block whose first line is the length still announces it.
      {"Content-Length: 3\r\n", 5, true},
      // Garbage values announce nothing, whatever the body's length.
      {"HTTP/1.1 200 OK\r\nContent-Length:", 5, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: \r\n", 5, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: abc", 5, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: -5", 5, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 12abc", 5, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 1 2", 5, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0x10", 16, false},
      // The first Content-Length line counts.
      {"HTTP/1.1 200 OK\r\nContent-Length: 4\r\nContent-Length: 5", 5, true},
      // Numbers at and beyond 32 bits never wrap onto a body length.
      {"HTTP/1.1 200 OK\r\nContent-Length: 4294967295", 0xFFFFFFFFu, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 4294967296", 0, true},
      {"HTTP/1.1 200 OK\r\nContent-Length: 4294967306", 10, true},
      {"HTTP/1.1 200 OK\r\nContent-Length: 18446744073709551626", 10, true},
      {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999999999999", 0xFFFFFFFFu, true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(BodyIsShort(row.headers, row.bodyLength), row.isShort)
        << (row.headers ? row.headers : "(null)") << " / " << row.bodyLength;
  }
}

TEST_F(HeaderBlockTest, BodyIsShortReadsPastAHugeValue) {
  const std::string digits(200000, '9');
  EXPECT_TRUE(BodyIsShort(("HTTP/1.1 200 OK\r\nContent-Length: " + digits).c_str(), 0));
  const std::string zeros = std::string(200000, '0') + "12";
  EXPECT_FALSE(BodyIsShort(("HTTP/1.1 200 OK\r\nContent-Length: " + zeros).c_str(), 12));
}

class CookieCollectionTest : public HeaderBlockTest {
 protected:
  static std::string Collect(const char* headers) {
    return hosted::TakeText(CollectWinHttpCookies(headers));
  }
};

TEST_F(CookieCollectionTest, HostileHeaderBlocks) {
  struct Row {
    const char* headers;
    const char* cookies;
  } rows[] = {
      {nullptr, ""},
      {"", ""},
      {"\r\n\r\n\r\n", ""},
      {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2", "a=1; b=2"},
      {"Set-Cookie: a=1", "a=1"},
      // Only a line named exactly "Set-Cookie" before ": " counts.
      {"set-cookie: a=1\r\nSET-COOKIE: b=2", ""},
      {"Set-Cookie:a=1", ""},
      {"Set-Cookie : a=1", ""},
      {" Set-Cookie: a=1", ""},
      {"X: Set-Cookie: a=1", ""},
      {"Set-Cookie2: a=1", ""},
      {"Set-Cookie", ""},
      // Odd values.
      {"Set-Cookie: ", ""},
      {"Set-Cookie: ;", ""},
      {"Set-Cookie: a=1;", "a=1"},
      {"Set-Cookie: ;a=1", ""},
      {"Set-Cookie:    a=1    ; x=2", "a=1"},
      {"Set-Cookie: a=Set-Cookie:1", "a=1"},
      {"Set-Cookie: a=set-cookie:1; x", "a=set-cookie:1"},
      {"Set-Cookie: a=1\nSet-Cookie: b=2", "a=1\n b=2"},    // one line: both removed
      {"Set-Cookie: a=1\rSet-Cookie:\nb=2", "a=1\r\nb=2"},  // the removal joins CR and LF
      {"Set-Cookie: \xD2\xB3=\xC3\xE6; path=/", "\xD2\xB3=\xC3\xE6"},
      // An empty pair stays an empty item; only one "; " goes from the end,
      // so an empty last pair leaves a separator there.
      {"Set-Cookie: \r\nSet-Cookie: b=2", "; b=2"},
      {"Set-Cookie: a=1\r\nSet-Cookie: ", "a=1; "},
      {"\r\n\r\nSet-Cookie: a=1\r\n\r\nSet-Cookie: b=2; x\r\n", "a=1; b=2"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Collect(row.headers), row.cookies) << (row.headers ? row.headers : "(null)");
  }
}

TEST_F(CookieCollectionTest, ManyCookieLines) {
  std::string block = "HTTP/1.1 200 OK";
  std::string expected;
  for (int i = 0; i < 2000; ++i) {
    block += "\r\nSet-Cookie: c" + std::to_string(i) + "=" + std::to_string(i) + "; path=/";
    expected += (i ? "; c" : "c") + std::to_string(i) + "=" + std::to_string(i);
  }
  EXPECT_EQ(Collect(block.c_str()), expected);
}

}  // namespace
}  // namespace tulora
