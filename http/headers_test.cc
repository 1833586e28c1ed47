#include "http/headers.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/hosted_runtime.h"

namespace tulora {
namespace {

using hosted::TakeText;

const std::string kUserAgent = "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

class HeadersTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(hosted::LiveBlocks(), live_) << "leaked blocks"; }

 private:
  int64_t live_ = hosted::LiveBlocks();
};

TEST_F(HeadersTest, DefaultHeadersAppendWhatIsMissing) {
  struct Row {
    const char* headers;
    const char* url;
    int32_t method;
    std::string result;
  } rows[] = {
      {"", "http://h/x", 0,
       "\r\nAccept: */*\r\nReferer: http://h/x\r\nAccept-Language: zh-cn" + kUserAgent},
      {nullptr, "u", 0, "\r\nAccept: */*\r\nReferer: u\r\nAccept-Language: zh-cn" + kUserAgent},
      {"accept: text/html", "u", 0,
       "accept: text/html\r\nReferer: u\r\nAccept-Language: zh-cn" + kUserAgent},
      {"X-Accept: 1", "u", 0, "X-Accept: 1\r\nReferer: u\r\nAccept-Language: zh-cn" + kUserAgent},
      {"Accept: a\r\nREFERER: r\r\nAccept-Language: en\r\nuser-agent: me", "u", 1,
       "Accept: a\r\nREFERER: r\r\nAccept-Language: en\r\nuser-agent: me"
       "\r\nContent-Type: application/x-www-form-urlencoded"},
      {"Accept: a\r\nReferer: r\r\nAccept-Language: en\r\nUser-Agent: me\r\ncontent-type: t", "u",
       1, "Accept: a\r\nReferer: r\r\nAccept-Language: en\r\nUser-Agent: me\r\ncontent-type: t"},
      {"Accept: a\r\nReferer: r\r\nAccept-Language: en\r\nUser-Agent: me", "u", 2,
       "Accept: a\r\nReferer: r\r\nAccept-Language: en\r\nUser-Agent: me"},
      // Each search sees the text as the rows before extended it: the
      // Referer's URL already names Accept-Language.
      {"Accept: a", "http://h/?Accept-Language:", 0,
       "Accept: a\r\nReferer: http://h/?Accept-Language:" + kUserAgent},
  };
  for (const Row& r : rows) {
    char* headers = r.headers != nullptr ? CopyText(r.headers) : nullptr;
    AddDefaultHeaders(&headers, r.url, r.method);
    EXPECT_EQ(TakeText(headers), r.result) << (r.headers ? r.headers : "null");
  }
}

TEST_F(HeadersTest, NormalizeHeaderText) {
  struct Row {
    const char* headers;
    const char* normalized;
  } rows[] = {
      {"accept-language: zh-cn", "Accept-Language: zh-cn"},
      {"user-agent:x", "User-Agent:x"},
      {"x-requested-with:  y", "X-Requested-With:  y"},
      {"content-type:a", "Content-Type:a"},
      {"ACCEPT: x", "ACCEPT: x"},
      {"x: aBc-def", "X: aBc-def"},
      {"a:b:c", "A:b:c"},
      {"a-:b", "A-:b"},
      {"-a:b", "-A:b"},
      {"a--b:c", "A--B:c"},
      {" x: y", " x: y"},
      {"\xB1\xEA-a: 1", "\xB1\xEA-A: 1"},
      {"", ""},
      {"\r\n", ""},
      {"no colon", ""},
      {"\r\nAccept: */*\r\nreferer: u", "Accept: */*\r\nReferer: u"},
      {"a: 1\r\n\r\nnone\r\nb: 2", "A: 1\r\nB: 2"},
      {":v", ":v"},
  };
  for (const Row& r : rows) EXPECT_EQ(TakeText(NormalizeHeaderText(r.headers)), r.normalized);
}

TEST_F(HeadersTest, DefaultsThenNormalisationStartWithAccept) {
  char* headers = CopyText("");
  AddDefaultHeaders(&headers, "http://h/", 0);
  std::string normalized = TakeText(NormalizeHeaderText(headers));
  tulora_services.Release(headers);
  EXPECT_EQ(normalized.rfind("Accept: */*\r\nReferer: http://h/\r\n", 0), 0u) << normalized;
}

TEST_F(HeadersTest, CapitalizeFirst) {
  struct Row {
    const char* text;
    const char* result;
  } rows[] = {{"", ""},
              {nullptr, ""},
              {"a", "A"},
              {"abc", "Abc"},
              {"1a", "1a"},
              {"Zz", "Zz"},
              {"\xB1\xEA"
               "a",
               "\xB1\xEA"
               "a"}};
  for (const Row& r : rows) EXPECT_EQ(TakeText(CapitalizeFirst(r.text)), r.result);
}

using Calls = std::vector<std::pair<std::string, std::string>>;

void Record(void* context, const char* name, const char* value) {
  static_cast<Calls*>(context)->emplace_back(name, value);
}

TEST_F(HeadersTest, ApplyHeaderText) {
  struct Row {
    const char* headers;
    Calls calls;
  } rows[] = {
      {"", {{"", ""}}},
      {"Connection: keep-alive", {{"Connection", "keep-alive"}}},
      {"no colon", {{"", ""}}},
      {"A: 1\r\nConnection: keep-alive\r\nB: 2", {{"A", "1"}, {"B", "2"}}},
      {"A: 1\r\nConnection: Keep-Alive", {{"A", "1"}, {"Connection", "Keep-Alive"}}},
      {"A: 1\r\nconnection: keep-alive", {{"A", "1"}, {"connection", "keep-alive"}}},
      {"A: 1\r\n\r\nB: 2", {{"A", "1"}, {"B", "2"}}},
      {"none\r\nA:1", {{"", ""}, {"A", "1"}}},
      {"X-Time: 12:30\r\n Y :  z ", {{"X-Time", "12:30"}, {"Y", "z"}}},
      {"\r\n", {}},
  };
  for (const Row& r : rows) {
    Calls calls;
    ApplyHeaderText(r.headers, Record, &calls);
    EXPECT_EQ(calls, r.calls) << r.headers;
  }
}

TEST_F(HeadersTest, HeaderLineNameValueAndTextBefore) {
  struct Row {
    const char* line;
    const char* name;
    const char* value;
  } rows[] = {{"X-Time: 12:30", "X-Time", "12:30"},
              {"  A  :  b c  ", "A", "b c"},
              {"novalue:", "novalue", ""},
              {": v", "", "v"},
              {"none", "", ""},
              {"", "", ""}};
  for (const Row& r : rows) {
    EXPECT_EQ(TakeText(HeaderLineName(r.line)), r.name) << r.line;
    EXPECT_EQ(TakeText(HeaderLineValue(r.line)), r.value) << r.line;
  }

  struct BeforeRow {
    const char* text;
    const char* separator;
    int32_t start;
    bool ignoreCase;
    const char* result;
  } before[] = {
      {"Set-Cookie: a=1", ": ", 1, false, "Set-Cookie"},
      {"no separator", ": ", 1, false, ""},
      {": at start", ": ", 1, false, ""},
      {"a: b: c", ": ", 3, false, "a: b"},
      {"a: b: c", ": ", 0, false, "a"},
      {"a: b: c", ": ", -4, false, "a"},
      {"aXbxc", "x", 1, false, "aXb"},
      {"aXbxc", "x", 1, true, "a"},
  };
  for (const BeforeRow& r : before) {
    EXPECT_EQ(TakeText(TextBefore(r.text, r.separator, r.start, r.ignoreCase)), r.result) << r.text;
  }
}

TEST_F(HeadersTest, Base64EncodeMatchesRfc4648) {
  struct Row {
    std::string bytes;
    const char* encoded;
    uint32_t paddedLength;
  } rows[] = {
      {"", "", 0},
      {"f", "Zg==", 3},
      {"fo", "Zm8=", 3},
      {"foo", "Zm9v", 3},
      {"foob", "Zm9vYg==", 6},
      {"fooba", "Zm9vYmE=", 6},
      {"foobar", "Zm9vYmFy", 6},
      {std::string("\xFF\xFE\x00", 3), "//4A", 3},
      {std::string("\xFB\xEF", 2), "++8=", 3},
  };
  for (const Row& r : rows) {
    ByteSet* set = NewByteSetFrom(r.bytes.data(), static_cast<uint32_t>(r.bytes.size()));
    EXPECT_EQ(TakeText(Base64Encode(&set)), r.encoded) << r.bytes;
    EXPECT_EQ(ByteSetLength(set), r.paddedLength);  // extended in place
    EXPECT_EQ(std::string(reinterpret_cast<char*>(set->data()), r.bytes.size()), r.bytes);
    for (uint32_t i = static_cast<uint32_t>(r.bytes.size()); i < r.paddedLength; ++i) {
      EXPECT_EQ(set->data()[i], 0);
    }
    tulora_services.Release(set);
  }
  ByteSet* none = nullptr;
  EXPECT_EQ(TakeText(Base64Encode(&none)), "");
}

TEST_F(HeadersTest, JoinByteSets) {
  OwnedBytes ab(NewByteSetFrom("ab", 2));
  OwnedBytes cd(NewByteSetFrom("c\0d", 3));
  OwnedBytes joined(JoinByteSets(ab.get(), nullptr, cd.get()));
  EXPECT_EQ(joined.get()->dimensions, 1u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(joined.get()->data()), ByteSetLength(joined.get())),
            std::string("abc\0d", 5));
  OwnedBytes empty(JoinByteSets(EmptyByteSet(), nullptr));
  EXPECT_EQ(empty.get()->dimensions, 1u);
  EXPECT_EQ(ByteSetLength(empty.get()), 0u);
}

TEST_F(HeadersTest, ProxyAuthorizationValue) {
  struct Row {
    const char* user;
    const char* password;
    const char* value;
  } rows[] = {
      {"Aladdin", "open sesame", "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
      {"u", "p", "Basic dTpw"},
      {"user", nullptr, "Basic dXNlcjo="},
      {"\xD3\xC3", "x", "Basic 08M6eA=="},  // GBK bytes are encoded as they are
  };
  for (const Row& r : rows)
    EXPECT_EQ(TakeText(ProxyAuthorizationValue(r.user, r.password)), r.value);
}

}  // namespace
}  // namespace tulora
