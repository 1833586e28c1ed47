#include "tools/imageinspect/image_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "tools/imagelink/image_linker.h"
#include "tools/imagelink/test_objects.h"

namespace tulora::imageinspect {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The lines after the one that starts with `title`, up to the next title
// (a line without leading spaces).
std::vector<std::string> Block(const std::vector<std::string>& lines, const std::string& title) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < lines.size() && lines[i].compare(0, title.size(), title) != 0) ++i;
  for (++i; i < lines.size() && !lines[i].empty() && lines[i][0] == ' '; ++i)
    out.push_back(lines[i]);
  return out;
}

std::string LinkedDescription(image::ProgramImage& image) {
  std::vector<uint8_t> bytes = imagelink::ReadTestFile("app_main-x86_64.o");
  imagelink::ElfObject elf;
  std::string error;
  if (!imagelink::ReadElfObject(bytes, elf, error) || !imagelink::LinkImage(elf, image, error))
    return error;
  image::ProgramImage read;
  if (!image::ReadImage(image::WriteImage(image), read, error)) return error;
  image = read;
  return DescribeImage(read);
}

// Each DLL table line shows the entry, both names and their const offsets;
// the offsets printed must lead to the names printed.
TEST(ImageInspect, PrintsTheDllTableRowForRow) {
  image::ProgramImage image;
  std::vector<std::string> lines = Lines(LinkedDescription(image));
  std::vector<std::string> rows = Block(lines, "DllFunctionTable (12 entries)");
  ASSERT_EQ(rows.size(), 12u);
  const std::vector<uint8_t>& data = image.Find("const")->stored;
  for (size_t i = 0; i < 12; ++i) {
    std::istringstream row(rows[i]);
    size_t entry = 99;
    std::string dll, dllAt, function, functionAt;
    row >> entry >> dll >> dllAt >> function >> functionAt;
    EXPECT_EQ(entry, i) << rows[i];
    EXPECT_EQ(dll, "\"" + std::string(imagelink::kAppMainDllTable[i].dll) + "\"") << rows[i];
    EXPECT_EQ(function, "\"" + std::string(imagelink::kAppMainDllTable[i].function) + "\"")
        << rows[i];
    unsigned dllOffset = 0, functionOffset = 0;
    ASSERT_EQ(std::sscanf(dllAt.c_str(), "@0x%x", &dllOffset), 1) << rows[i];
    ASSERT_EQ(std::sscanf(functionAt.c_str(), "@0x%x", &functionOffset), 1) << rows[i];
    ASSERT_LT(functionOffset, data.size());
    EXPECT_EQ(QuoteText(reinterpret_cast<const char*>(data.data() + dllOffset)), dll);
    EXPECT_EQ(QuoteText(reinterpret_cast<const char*>(data.data() + functionOffset)), function);
  }
}

TEST(ImageInspect, PrintsSegmentsKindsAndGroups) {
  image::ProgramImage image;
  std::vector<std::string> lines = Lines(LinkedDescription(image));
  std::vector<std::string> segments = Block(lines, "segments");
  const char* order[] = {"const", "form", "help", "code", "var", "@reloc1"};
  ASSERT_EQ(segments.size(), 6u);
  for (size_t i = 0; i < 6; ++i)
    EXPECT_EQ(segments[i].substr(2, std::string(order[i]).size()), order[i]);
  EXPECT_NE(segments[4].find("flags 0x13"), std::string::npos) << segments[4];
  EXPECT_NE(segments[4].find("stored 0 "), std::string::npos) << segments[4];

  std::vector<std::string> kinds = Block(lines, "code relocations by kind");
  ASSERT_EQ(kinds.size(), 7u);
  for (uint32_t kind = 0; kind < 7; ++kind) {
    size_t count = 0;
    for (const image::CodeRelocation& r : image.Find("code")->relocations) count += r.kind == kind;
    EXPECT_EQ(kinds[kind].substr(kinds[kind].find_last_of(' ') + 1), std::to_string(count))
        << kinds[kind];
  }

  std::vector<std::string> groups = Block(lines, "LinkFixupList");
  // group 0 with count 0; group 2 with one field holding row 1.
  EXPECT_EQ(groups[0], "  group 0 (unused)             0");
  auto row = std::find(groups.begin(), groups.end(), "  group 2 library rows         1");
  ASSERT_NE(row, groups.end());
  EXPECT_NE((row + 1)->find("holds 0x1"), std::string::npos) << *(row + 1);
}

TEST(ImageInspect, PrintsLibraryRowsWithGbkEscaped) {
  image::ProgramImage image;
  std::vector<std::string> rows = Block(Lines(LinkedDescription(image)), "LibraryTable (3 rows)");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].substr(0, 16), "   1 VThread    ");
  EXPECT_NE(rows[1].find(" 2.0 \"\\xb6\\xe0\\xcf\\xdf"), std::string::npos) << rows[1];
  EXPECT_NE(rows[2].find(" 3.1 "), std::string::npos) << rows[2];
}

TEST(ImageInspect, QuotesTexts) {
  struct Row {
    const char* text;
    const char* quoted;
  } rows[] = {
      {"", "\"\""},
      {"ole32", "\"ole32\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\xcf\xb5\r\n", "\"\\xcf\\xb5\\x0d\\x0a\""},
      {"~\x7f", "\"~\\x7f\""},
  };
  for (const Row& r : rows) EXPECT_EQ(QuoteText(r.text), r.quoted) << r.text;
}

}  // namespace
}  // namespace tulora::imageinspect
