#include "runtime/text/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tulora {
namespace {

using U16 = std::u16string;

// Converts with an explicit length and a buffer of exactly the queried size.
U16 ToWide(uint32_t codePage, const std::string& in) {
  int n = CpMultiByteToWideChar(codePage, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
  std::vector<uint16_t> out(static_cast<size_t>(n));
  int written =
      CpMultiByteToWideChar(codePage, 0, in.data(), static_cast<int>(in.size()), out.data(), n);
  EXPECT_EQ(written, n);
  return U16(out.begin(), out.end());
}

std::string FromWide(uint32_t codePage, const U16& in, int32_t* usedDefault = nullptr) {
  const uint16_t* src = reinterpret_cast<const uint16_t*>(in.data());
  int len = static_cast<int>(in.size());
  int n = CpWideCharToMultiByte(codePage, 0, src, len, nullptr, 0, nullptr, usedDefault);
  std::string out(static_cast<size_t>(n), '\0');
  EXPECT_EQ(CpWideCharToMultiByte(codePage, 0, src, len, out.data(), n, nullptr, usedDefault), n);
  return out;
}

TEST(CodepageTest, Utf8ToUtf16ReplacesEachIllFormedPart) {
  struct Row {
    std::string utf8;
    U16 utf16;
  } rows[] = {
      {"abc", u"abc"},
      {"\xE6\xA0\x87\xE9\xA2\x98", u"\u6807\u9898"},  // 标题
      {"\xF0\x9F\x98\x80", U16{0xD83D, 0xDE00}},      // U+1F600
      {"a\x80"
       "b",
       u"a\uFFFD"
       "b"},                // stray continuation
      {"\xC3", u"\uFFFD"},  // truncated at the end
      {"\xE6\xA0"
       "x",
       u"\uFFFDx"},                   // truncated, one FFFD
      {"\xC0\xAF", u"\uFFFD\uFFFD"},  // C0 is never valid
      // A first continuation byte out of the lead's range goes with it.
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD"},                          // overlong
      {"\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},                // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD"},                          // encoded surrogate
      {"\xED\xA0\xBD\xED\xB8\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // surrogate pair
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD"},                // above U+10FFFF
      {"\xE6\xC3\xA9", u"\uFFFD\u00E9"},                          // no continuation
      {"\xF0\x9F\x98", u"\uFFFD"},                                // truncated 4-byte
      {"\xFF\xFE", u"\uFFFD\uFFFD"},
      {std::string("a\0b", 3), U16(u"a\0b", 3)},  // explicit length keeps zero
  };
  for (const Row& r : rows) EXPECT_EQ(ToWide(CP_UTF8_PAGE, r.utf8), r.utf16) << r.utf8;
}

TEST(CodepageTest, Utf16ToUtf8) {
  struct Row {
    U16 utf16;
    std::string utf8;
  } rows[] = {
      {u"abc", "abc"},
      {u"\u00E9\u6807", "\xC3\xA9\xE6\xA0\x87"},
      {U16{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
      {U16{0xD83D}, "\xEF\xBF\xBD"},
      {U16{0xDE00, 'x'}, "\xEF\xBF\xBDx"},
  };
  for (const Row& r : rows) EXPECT_EQ(FromWide(CP_UTF8_PAGE, r.utf16), r.utf8);
  // A default character is refused for UTF-8, as on Windows.
  const uint16_t a[] = {'a', 0};
  char buffer[4];
  EXPECT_EQ(CpWideCharToMultiByte(CP_UTF8_PAGE, 0, a, -1, buffer, 4, "?", nullptr), 0);
}

TEST(CodepageTest, GbkSingleBytesAndReplacements) {
  struct Row {
    std::string gbk;
    U16 utf16;
  } rows[] = {
      {"abc", u"abc"},
      {"\xB1\xEA\xCC\xE2\xA3\xBA", u"\u6807\u9898\uFF1A"},  // 标题：
      {"\x80", u"\u20AC"},
      {"\xFF", u"\uF8F5"},
      {"\x81", u"?"},  // lead byte at the end
      {"\x81"
       "A",
       u"\u4E04"},  // 81 41 is a character
      // A lead byte takes the next byte with it, trail byte or not.
      {"\x81\x7F"
       "A",
       u"?A"},
      {"\x81\x30"
       "A",
       u"?A"},
      {"\x81 A", u"?A"},
      {"\x81\xFF", u"?"},
      {"\xB4\xB4\xBA", u"\u521B?"},
      {std::string("\x81\0A", 3), U16(u"?\0A", 3)},  // but not a zero byte
      // User-defined areas: Private Use Area characters.
      {"\xAA\xA1", u"\uE000"},
      {"\xA2\xA0", u"\uE585"},
      {"\xFE\xFE", u"\uE4C5"},
      {"\xA1\x40", u"\uE4C6"},
  };
  for (const Row& r : rows) {
    for (uint32_t page : {CP_GBK, CP_ANSI}) EXPECT_EQ(ToWide(page, r.gbk), r.utf16) << r.gbk;
  }
}

TEST(CodepageTest, EveryGbkDoubleByteCodeRoundTrips) {
  int assigned = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      uint16_t u = GbkCodeToUnicode(static_cast<uint16_t>(lead << 8 | trail));
      if (u == 0) continue;
      ++assigned;
      U16 wide = ToWide(CP_GBK, code);
      ASSERT_EQ(wide, U16(1, static_cast<char16_t>(u))) << std::hex << lead << trail;
      ASSERT_EQ(FromWide(CP_GBK, wide), code) << std::hex << lead << trail;
    }
  }
  EXPECT_EQ(assigned, 21791 + 2149);  // GBK and the user-defined areas
}

TEST(CodepageTest, CharactersGbkLacksBecomeTheDefaultCharacter) {
  struct Row {
    U16 utf16;
    std::string gbk;
    int32_t usedDefault;
  } rows[] = {
      {u"abc", "abc", 0},
      {u"\u20AC", "\x80", 0},
      {u"\u00DF", "?", 1},  // ß is not in GBK
      {u"a\uAC00"
       "b",
       "a?b", 1},                      // Hangul syllable
      {U16{0xD83D, 0xDE00}, "??", 1},  // each half of a pair is one ?
      {U16{0xD83D, 'x'}, "?x", 1},     // lone surrogate
      {u"\u6807\u9898\uFF1A", "\xB1\xEA\xCC\xE2\xA3\xBA", 0},
      // Best fit: a near character, not counted as a default.
      {u"x\u00B2", "x2", 0},
      {u"\u00A6", "|", 0},
      {u"\u00A2", "\xA1\xE9", 0},
      {u"\u00B2\u00DF", "2?", 1},
      {u"\uE000", "\xAA\xA1", 0},  // back to the user-defined area
  };
  for (const Row& r : rows) {
    int32_t used = -1;
    EXPECT_EQ(FromWide(CP_GBK, r.utf16, &used), r.gbk);
    EXPECT_EQ(used, r.usedDefault);
  }
  const uint16_t e[] = {0xDF, 0};
  char buffer[4] = {};
  EXPECT_EQ(CpWideCharToMultiByte(CP_GBK, 0, e, -1, buffer, 4, "\xA1\xF6", nullptr), 3);
  EXPECT_EQ(std::string(buffer), "\xA1\xF6");
}

TEST(CodepageTest, LengthsSizeQueriesAndSmallBuffers) {
  const char* text = "\xE6\xA0\x87x";  // 标x
  uint16_t wide[8];
  // -1: up to and including the terminator, which is counted and written.
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 0, text, -1, nullptr, 0), 3);
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 0, text, -1, wide, 8), 3);
  EXPECT_EQ(wide[0], 0x6807);
  EXPECT_EQ(wide[2], 0);
  // Explicit length: no terminator.
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 0, text, 3, wide, 8), 1);
  // Too small: 0.
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 0, text, -1, wide, 2), 0);
  // Invalid arguments: 0.
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 0, text, 0, wide, 8), 0);
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 0, text, -2, wide, 8), 0);
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 0, nullptr, -1, wide, 8), 0);
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 0, text, -1, nullptr, 8), 0);
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 0, text, -1, wide, -1), 0);
  EXPECT_EQ(CpMultiByteToWideChar(1252, 0, text, -1, wide, 8), 0);
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 1, text, -1, wide, 8), 0);
  // The empty text is one terminator.
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, 0, "", -1, wide, 8), 1);
  EXPECT_EQ(wide[0], 0);

  const uint16_t units[] = {0x6807, 'x', 0};
  char bytes[8];
  EXPECT_EQ(CpWideCharToMultiByte(CP_GBK, 0, units, -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(CpWideCharToMultiByte(CP_GBK, 0, units, -1, bytes, 4, nullptr, nullptr), 4);
  EXPECT_STREQ(bytes, "\xB1\xEAx");
  EXPECT_EQ(CpWideCharToMultiByte(CP_GBK, 0, units, -1, bytes, 3, nullptr, nullptr), 0);
  EXPECT_EQ(CpWideCharToMultiByte(CP_GBK, 0, units, 1, bytes, 8, nullptr, nullptr), 2);
  EXPECT_EQ(CpWideCharToMultiByte(CP_UTF8_PAGE, 0, units, -1, nullptr, 0, nullptr, nullptr), 5);
}

TEST(CodepageTest, StrictFlagRefusesInvalidInput) {
  uint16_t wide[8];
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, CP_FLAG_MB_ERR_INVALID_CHARS, "a\x80", -1, wide, 8),
            0);
  EXPECT_EQ(CpMultiByteToWideChar(CP_UTF8_PAGE, CP_FLAG_MB_ERR_INVALID_CHARS, "ab", -1, wide, 8),
            3);
  EXPECT_EQ(CpMultiByteToWideChar(CP_GBK, CP_FLAG_MB_ERR_INVALID_CHARS, "\x81 ", -1, wide, 8), 0);
  EXPECT_EQ(CpMultiByteToWideChar(CP_GBK, CP_FLAG_MB_ERR_INVALID_CHARS, "\xFF", -1, wide, 8), 0);
  EXPECT_EQ(CpMultiByteToWideChar(CP_GBK, CP_FLAG_MB_ERR_INVALID_CHARS, "\x80", -1, wide, 8), 2);
  // A user-defined code is a character, so it passes.
  EXPECT_EQ(CpMultiByteToWideChar(CP_GBK, CP_FLAG_MB_ERR_INVALID_CHARS, "\xA2\xA0", -1, wide, 8),
            2);
  const uint16_t lone[] = {0xD800, 0};
  char bytes[8];
  EXPECT_EQ(CpWideCharToMultiByte(CP_UTF8_PAGE, CP_FLAG_WC_ERR_INVALID_CHARS, lone, -1, bytes, 8,
                                  nullptr, nullptr),
            0);
}

}  // namespace
}  // namespace tulora
