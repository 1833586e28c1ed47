#include "crawler/folder_name.h"

#include <gtest/gtest.h>

#include <string>

#include "image/values.h"
#include "tests/support/hosted_runtime.h"

namespace tulora {
namespace {

std::string Safe(const std::string& title) {
  char* name = SafeFolderName(title.c_str(), "7284");
  std::string out = name;
  tulora_services.Release(name);
  return out;
}

TEST(SafeFolderName, OrdinaryTitlesStayExactlyAsTheyAre) {
  for (const char* title : {"Spring",
                            "\xB4\xBA\xC8\xD5 \xB5\xDA"
                            "7284\xBC\xAF",
                            "a.b c", "...x", "CONSOLE", "COM0", "LPT",
                            "x"
                            "\x81\x40"
                            "y",
                            "[1] (2) {3}"}) {
    EXPECT_EQ(Safe(title), title) << title;
  }
}

TEST(SafeFolderName, HostileTitles) {
  struct Row {
    std::string title, expected;
  };
  const Row rows[] = {
      {"a/b\\c:d", "a_b_c_d"},
      {"<>|?*\"", "______"},
      {"..\\..\\evil", ".._.._evil"},
      {"a\x01"
       "b\tc\x7F",
       "a_b_c_"},
      {"abc. ", "abc"},
      {"\xB4\xBA..", "\xB4\xBA"},
      {"CON", "_CON"},
      {"con.txt", "_con.txt"},
      {"COM1", "_COM1"},
      {"lpt9.x", "_lpt9.x"},
      {"Aux", "_Aux"},
      {"nul .", "_nul"},
      {"ab\xB4", "ab_"},         // lead byte at the end
      {"\xB4 x", "_ x"},         // lead byte without a trail byte
      {"\xFF\x80", "\xFF\x80"},  // bytes that are no GBK lead stay
  };
  for (const Row& row : rows) EXPECT_EQ(Safe(row.title), row.expected) << row.title;
}

TEST(SafeFolderName, EmptyNamesBecomeTheGalleryNumber) {
  for (const char* title : {"", ".", "..", " . ", "    ", "...."}) {
    EXPECT_EQ(Safe(title), "7284") << '"' << title << '"';
  }
  char* fromNull = SafeFolderName(nullptr, "12");
  EXPECT_STREQ(fromNull, "12");
  tulora_services.Release(fromNull);
}

TEST(SafeFolderName, LongTitlesAreCutOnACharacterBoundary) {
  std::string chinese;
  for (int i = 0; i < 200; ++i) chinese += "\xB4\xBA";
  EXPECT_EQ(Safe(chinese), chinese.substr(0, MAX_FOLDER_NAME_BYTES));
  const std::string odd = "a" + chinese;  // the last character would end one byte past the limit
  EXPECT_EQ(Safe(odd), odd.substr(0, MAX_FOLDER_NAME_BYTES - 1));
  const std::string x(MAX_FOLDER_NAME_BYTES - 1, 'x');
  EXPECT_EQ(Safe(x + "  .y"), x)
      << "trailing spaces and dots go after the cut";
  // A device name keeps its "_" within the limit, cut again on a boundary.
  const std::string device = "con." + std::string(MAX_FOLDER_NAME_BYTES - 4, 'x');
  EXPECT_EQ(Safe(device), "_" + device.substr(0, MAX_FOLDER_NAME_BYTES - 1));
  EXPECT_EQ(Safe("AUX" + std::string(MAX_FOLDER_NAME_BYTES - 5, '.') + "\xB4\xBA"), "_AUX");
}

}  // namespace
}  // namespace tulora
