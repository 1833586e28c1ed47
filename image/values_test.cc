#include "image/values.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/hosted_runtime.h"

namespace tulora {
namespace {

// "标题：" in GBK.
const char kTitleColon[] = "\xB1\xEA\xCC\xE2\xA3\xBA";

class ValuesTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(hosted::LiveBlocks(), live_) << "leaked blocks"; }
  // Copies a returned text and releases it.
  static std::string Take(char* text) {
    EXPECT_NE(text, nullptr);
    return text != nullptr ? hosted::TakeText(text) : "";
  }

 private:
  int64_t live_ = hosted::LiveBlocks();
};

TEST_F(ValuesTest, TextLengthCountsBytes) {
  struct Row {
    const char* text;
    uint32_t length;
  } rows[] = {{nullptr, 0}, {"", 0}, {"\r\n", 2}, {kTitleColon, 6}, {"abc", 3}};
  for (const Row& r : rows) EXPECT_EQ(TextLength(r.text), r.length) << (r.text ? r.text : "null");
}

TEST_F(ValuesTest, JoinTextsJoinsInOrderIntoOneNewText) {
  struct Row {
    std::vector<const char*> pieces;
    std::string joined;
  } rows[] = {
      {{"a", nullptr, "b"}, "ab"},
      {{"", ""}, ""},
      {{nullptr, nullptr}, ""},
      {{"x"}, "x"},
      {{"http://h", "/item/", "12", ".html"}, "http://h/item/12.html"},
      {{"1", "2", "3", "4", "5", "6"}, "123456"},
      {{kTitleColon, "\\", "7.jpg"}, std::string(kTitleColon) + "\\7.jpg"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Take(JoinTexts(r.pieces.data(), static_cast<uint32_t>(r.pieces.size()))), r.joined);
  }
}

TEST_F(ValuesTest, JoinTextsOverloadsAndOneAllocation) {
  int64_t before = hosted::LiveBlocks();
  char* joined = JoinTexts("a", "b", "c", "d", "e", "f");
  EXPECT_EQ(hosted::LiveBlocks(), before + 1);
  EXPECT_STREQ(joined, "abcdef");
  tulora_services.Release(joined);
  EXPECT_EQ(Take(JoinTexts("a", "b")), "ab");
  EXPECT_EQ(Take(JoinTexts("a", nullptr, "c")), "ac");
}

TEST_F(ValuesTest, CompareTexts) {
  struct Row {
    const char* a;
    const char* b;
    int32_t result;
  } rows[] = {
      {nullptr, "", 0},   {nullptr, nullptr, 0},
      {nullptr, "1", -1}, {"1", nullptr, 1},
      {"", nullptr, 0},   {"1", "1", 0},
      {"1", "2", -1},     {"2", "1", 1},
      {"\xB1", "z", 1},   {"z", "\xB1", -1},
      {"ab", "abc", -1},  {"abc", "ab", 1},
      {"A", "a", -1},     {kTitleColon, kTitleColon, 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(CompareTexts(r.a, r.b), r.result)
        << (r.a ? r.a : "null") << " vs " << (r.b ? r.b : "null");
  }
}

TEST_F(ValuesTest, CompareBytes) {
  const uint8_t a[] = {1, 2, 0x80, 4};
  const uint8_t b[] = {1, 2, 0x7F, 4};
  const uint8_t c[] = {1, 2, 0x80, 5};
  EXPECT_EQ(CompareBytes(nullptr, nullptr, 0), 0);
  EXPECT_EQ(CompareBytes(a, b, 0), 0);
  EXPECT_EQ(CompareBytes(a, b, 2), 0);
  EXPECT_EQ(CompareBytes(a, b, 3), 1);  // unsigned: 0x80 > 0x7F
  EXPECT_EQ(CompareBytes(b, a, 3), -1);
  EXPECT_EQ(CompareBytes(a, c, 4), -1);
  EXPECT_EQ(CompareBytes(a, a, 4), 0);
}

TEST_F(ValuesTest, TruncateToIntegerTowardZero) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    double value;
    int64_t result;
  } rows[] = {
      {7284.0, 7284},
      {-0.5, 0},
      {0.5, 0},
      {2.9, 2},
      {-2.9, -2},
      {-1.0, -1},
      {0.0, 0},
      {-0.0, 0},
      {4.9e-324, 0},
      {0.9999999999999999, 0},
      {4294967296.5, 4294967296LL},
      {-2147483648.7, -2147483648LL},
      {9007199254740993.0, 9007199254740992LL},
      {4611686018427387904.0, 4611686018427387904LL},  // 2^62
      {-9223372036854775808.0, INT64_MIN},
      {1e30, INT64_MIN},
      {inf, INT64_MIN},
      {std::nan(""), INT64_MIN},
  };
  for (const Row& r : rows) EXPECT_EQ(TruncateToInteger(r.value), r.result) << r.value;
}

TEST_F(ValuesTest, TruncateToIntegerLeavesRoundingModeAlone) {
  const int modes[] = {FE_UPWARD, FE_DOWNWARD, FE_TONEAREST};
  for (int mode : modes) {
    ASSERT_EQ(std::fesetround(mode), 0);
    volatile double v = -2.9;
    EXPECT_EQ(TruncateToInteger(v), -2);
    EXPECT_EQ(TruncateToInteger(2.9), 2);
    EXPECT_EQ(std::fegetround(), mode);
  }
}

TEST_F(ValuesTest, ArrayElementCount) {
  const uint32_t emptyBytes[] = {1, 0};
  const uint32_t twoByThree[] = {2, 2, 3, 0, 0, 0, 0, 0, 0};
  const uint32_t noDimensions[] = {0};
  struct Row {
    const uint32_t* array;
    uint32_t count;
    ptrdiff_t firstOffsetBytes;
  } rows[] = {{emptyBytes, 0, 8}, {twoByThree, 6, 12}, {noDimensions, 0, 4}};
  for (const Row& r : rows) {
    const void* first = nullptr;
    EXPECT_EQ(ArrayElementCount(r.array, &first), r.count);
    EXPECT_EQ(static_cast<const uint8_t*>(first) - reinterpret_cast<const uint8_t*>(r.array),
              r.firstOffsetBytes);
    EXPECT_EQ(ArrayElementCountTolerant(r.array, nullptr), r.count);
  }
  const void* first = &rows;
  EXPECT_EQ(ArrayElementCountTolerant(nullptr, &first), 0u);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(ArrayElementCount(EmptyByteSet(), nullptr), 0u);
}

TEST_F(ValuesTest, FindTextStepsOverDoubleByteCharacters) {
  struct Row {
    const char* text;
    const char* sought;
    int32_t start;
    bool ignoreCase;
    int32_t position;
  } rows[] = {
      {"abcabc", "c", 1, false, 3},
      {"abcabc", "c", 4, false, 6},
      {"abcabc", "c", 0, false, 3},
      {"abcabc", "c", -5, false, 3},
      {"abcabc", "c", 7, false, -1},
      {"abc", "", 1, false, -1},
      {"ABC", "b", 1, false, -1},
      {"ABC", "b", 1, true, 2},
      {"\xB0\x41"
       "A",
       "A", 1, false, 3},  // 0x41 as a trail byte is no "A"
      {"\xB0\x41", "a", 1, true, -1},
      {"\xB0\x61", "\xB0\x41", 1, true, -1},  // trail bytes are never folded
      {"x\xB1\xEA", "\xB1\xEA", 1, false, 2},
      {"ab", "abc", 1, false, -1},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(FindText(r.text, r.sought, r.start, r.ignoreCase), r.position)
        << r.text << " / " << r.sought;
  }
}

TEST_F(ValuesTest, TextBetween) {
  struct Row {
    const char* source;
    const char* left;
    const char* right;
    int32_t start;
    bool caseSensitive;
    std::string result;
  } rows[] = {
      {"<h1>A</h1><h1>B</h1>", "<h1>", "</h1>", 0, false, "A"},
      {"<H1>A</H1>", "<h1>", "</h1>", 0, false, "A"},
      {"<H1>A</H1>", "<h1>", "</h1>", 0, true, ""},
      {"<h1></h1>", "<h1>", "</h1>", 0, false, ""},
      {"</h1>x<h1>A", "<h1>", "</h1>", 0, false, ""},
      {"no heading", "<h1>", "</h1>", 0, false, ""},
      {nullptr, "<h1>", "</h1>", 0, false, ""},
      {"<h1>A</h1><h1>B</h1>", "<h1>", "</h1>", 2, false, "B"},
      {"<h1>A</h1><h1>B</h1>", "<h1>", "</h1>", -3, false, "A"},
      {"<h1>A</h1>", "<h1>", "</h1>", 50, false, ""},
      {"<a href=\"x.html\">", "href=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", 0, false, "x.html"},
      {"<a href=#\xD2\xFD\xBA\xC5x>", "href=#\xD2\xFD\xBA\xC5", ">", 0, false, ""},
      {"<h1>\xB1\xEA\xCC\xE2</h1>", "<h1>", "</h1>", 0, false, "\xB1\xEA\xCC\xE2"},
      {"\xB0\x41[x]", "A", "]", 0, true, ""},
      {"ab", "", "b", 0, false, ""},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Take(TextBetween(r.source, r.left, r.right, r.start, r.caseSensitive)), r.result)
        << (r.source ? r.source : "null") << " start " << r.start;
  }
  EXPECT_EQ(std::string(QUOTE_TOKEN), "#\xD2\xFD\xBA\xC5");
}

TEST_F(ValuesTest, ByteSetsAndTextArrays) {
  ByteSet* set = NewByteSetFrom("ab\0c", 4);
  EXPECT_EQ(set->dimensions, 1u);
  EXPECT_EQ(ByteSetLength(set), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(set->data()), 4), std::string("ab\0c", 4));
  tulora_services.Release(set);
  EXPECT_EQ(ByteSetLength(nullptr), 0u);
  const uint32_t twoDimensions[] = {2, 1, 1, 0};
  EXPECT_EQ(ByteSetLength(reinterpret_cast<const ByteSet*>(twoDimensions)), 0u);

  TextArray* list = nullptr;
  AppendTextItem(&list, "a");
  AppendTextItem(&list, nullptr);
  AppendTextItem(&list, kTitleColon);
  const void* first = nullptr;
  ASSERT_EQ(ArrayElementCount(list, &first), 3u);
  char* const* items = static_cast<char* const*>(first);
  EXPECT_STREQ(items[0], "a");
  EXPECT_STREQ(items[1], "");
  EXPECT_STREQ(items[2], kTitleColon);
  ReleaseTextArray(list);
  ReleaseTextArray(nullptr);
}

TEST_F(ValuesTest, OwnersReleaseWhatTheyHold) {
  int64_t before = hosted::LiveBlocks();
  {
    OwnedText a(CopyText("x"));
    OwnedTextArray list(NewTextArray());
    AppendTextItem(list.Address(), "y");
    a.Reset(CopyText("z"));
    EXPECT_STREQ(a.get(), "z");
    EXPECT_EQ(hosted::LiveBlocks(), before + 3);
  }
  EXPECT_EQ(hosted::LiveBlocks(), before);
  char* text = CopyText("old");
  ReplaceText(&text, CopyText("new"));
  EXPECT_EQ(Take(text), "new");
}

}  // namespace
}  // namespace tulora
