#include "crawler/reencode.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/hosted_runtime.h"

namespace tulora {
namespace {

using hosted::TakeText;

class ReencodeTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(hosted::LiveBlocks(), live_) << "leaked blocks"; }
  static std::string TakeBytes(ByteSet* set) {
    std::string s(reinterpret_cast<char*>(set->data()), ByteSetLength(set));
    tulora_services.Release(set);
    return s;
  }

 private:
  int64_t live_ = hosted::LiveBlocks();
};

TEST_F(ReencodeTest, Utf8ToGbk) {
  struct Row {
    const char* utf8;
    std::string gbk;
  } rows[] = {
      {nullptr, ""},
      {"", ""},
      {"abc", "abc"},
      // 标题：图集 (3 bytes per character in UTF-8, 2 in GBK)
      {"\xE6\xA0\x87\xE9\xA2\x98\xEF\xBC\x9A\xE5\x9B\xBE\xE9\x9B\x86",
       "\xB1\xEA\xCC\xE2\xA3\xBA\xCD\xBC\xBC\xAF"},
      {"<h1>\xE2\x82\xAC</h1>", "<h1>\x80</h1>"},  // euro sign
      {"a\xFF"
       "b",
       "a?b"},  // invalid UTF-8 -> FFFD -> ?
      {"a\xE6\xA0"
       "b",
       "a?b"},  // truncated sequence
      {"stra\xC3\x9F"
       "e",
       "stra?e"},  // ß is not in GBK
      {"\xF0\x9F\x98\x80!",
       "??"
       "!"},                         // outside the BMP: one ? per half
      {"x\xC2\xB2\xC2\xA6", "x2|"},  // best fit: superscript two, broken bar
      {"\xEE\x80\x80", "\xAA\xA1"},  // U+E000: user-defined area
  };
  for (const Row& r : rows)
    EXPECT_EQ(TakeText(Utf8ToGbk(r.utf8)), r.gbk) << (r.utf8 ? r.utf8 : "null");
}

TEST_F(ReencodeTest, TextToUtf16IncludesTheTerminatingUnit) {
  struct Row {
    const char* text;
    int32_t codePage;
    std::string units;
  } rows[] = {
      {"", CP_UTF8_PAGE, std::string("\0\0", 2)},
      {nullptr, CP_UTF8_PAGE, std::string("\0\0", 2)},
      {"ab", CP_UTF8_PAGE, std::string("a\0b\0\0\0", 6)},
      {"\xE6\xA0\x87", CP_UTF8_PAGE, std::string("\x07\x68\0\0", 4)},
      {"\xB1\xEA", CP_GBK, std::string("\x07\x68\0\0", 4)},
      {"\xB1\xEA", CP_ANSI, std::string("\x07\x68\0\0", 4)},
      {"ab", 1252, ""},  // a code page the system refuses: nothing to hold
  };
  for (const Row& r : rows) EXPECT_EQ(TakeBytes(TextToUtf16(r.text, r.codePage)), r.units);
}

TEST_F(ReencodeTest, TextToUtf16StopsAtTheFirstZeroByte) {
  const char text[] = "ab\0cd";
  EXPECT_EQ(TakeBytes(TextToUtf16(text)), std::string("a\0b\0\0\0", 6));
}

TEST_F(ReencodeTest, Utf16ToText) {
  struct Row {
    std::string units;
    int32_t codePage;
    std::string text;
  } rows[] = {
      {std::string("\x07\x68\0\0", 4), CP_ANSI, "\xB1\xEA"},
      {std::string("\x07\x68\0\0", 4), CP_GBK, "\xB1\xEA"},
      {std::string("\x07\x68\0\0", 4), CP_UTF8_PAGE, "\xE6\xA0\x87"},
      {std::string("a\0\0\0b\0", 6), CP_GBK, "a"},  // up to the first zero unit
      {std::string("a\0b\0", 4), CP_GBK, "ab"},     // no zero unit at all
      {std::string("a\0b", 3), CP_GBK, "a"},        // odd byte ignored
      {"", CP_GBK, ""},
      {std::string("\0\0", 2), CP_GBK, ""},
      {std::string("a\0\0\0", 4), 1252, ""},  // refused: empty text
  };
  for (const Row& r : rows) {
    OwnedBytes set(NewByteSetFrom(r.units.data(), static_cast<uint32_t>(r.units.size())));
    EXPECT_EQ(TakeText(Utf16ToText(set.get(), r.codePage)), r.text);
  }
  EXPECT_EQ(TakeText(Utf16ToText(nullptr)), "");
  EXPECT_EQ(TakeText(Utf16ToText(EmptyByteSet(), CP_GBK)), "");
}

TEST_F(ReencodeTest, DefaultCodePages) {
  // TextToUtf16 reads UTF-8 by default, Utf16ToText writes the ANSI page.
  OwnedBytes units(TextToUtf16("\xE6\xA0\x87"));
  EXPECT_EQ(TakeText(Utf16ToText(units.get())), "\xB1\xEA");
}

}  // namespace
}  // namespace tulora
