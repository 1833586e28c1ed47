#include "tools/pefile/pe_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tools/pefile/small_pe.h"

namespace tulora::pefile {
namespace {

TEST(PeFile, AppendedSectionFollowsTheLastInFileAndMemory) {
  std::vector<uint8_t> file = SmallPe(3);
  const std::vector<uint8_t> contents(0x300, 0xC3);  // pads to 0x400
  std::string error;
  ASSERT_TRUE(AppendSection(file, ".data", 0xE0000040, contents, error)) << error;

  PeFile pe;
  ASSERT_TRUE(ReadPe(file, pe, error)) << error;
  ASSERT_EQ(pe.sections.size(), 4u);
  const Section& s = pe.sections[3];
  EXPECT_EQ(s.name, ".data");
  EXPECT_EQ(s.characteristics, 0xE0000040u);
  EXPECT_EQ(s.rawOffset, 0x400u + 3 * 0x200);
  EXPECT_EQ(s.rawSize, 0x400u);
  EXPECT_EQ(s.virtualSize, 0x400u);
  EXPECT_EQ(s.virtualAddress, 0x4000u);
  EXPECT_EQ(pe.sizeOfImage, 0x5000u);
  EXPECT_EQ(pe.timeStamp, 0u);
  EXPECT_EQ(Get32(file, kOpt + 64), 0u);  // checksum
  EXPECT_EQ(pe.RawDataEnd(), file.size());
  const auto bytes = SectionBytes(file, s);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 0x300), contents);
  EXPECT_EQ(bytes[0x300], 0);
}

// Headers without room for one more section header grow by one file
// alignment unit; the raw data moves back, the addresses in memory stay.
TEST(PeFile, HeadersGrowWhenTheSectionTableIsFull) {
  std::vector<uint8_t> file = SmallPe(3, 0x200);
  std::vector<uint8_t> contents = {0xAA};
  file[0x200 + 0x200 * 2] = 0x5C;  // first byte of section 3
  std::string error;
  ASSERT_TRUE(AppendSection(file, ".data", 0xE0000040, contents, error)) << error;
  PeFile pe;
  ASSERT_TRUE(ReadPe(file, pe, error)) << error;
  EXPECT_EQ(pe.sizeOfHeaders, 0x400u);
  ASSERT_EQ(pe.sections.size(), 4u);
  EXPECT_EQ(pe.sections[0].rawOffset, 0x400u);
  EXPECT_EQ(pe.sections[2].virtualAddress, 0x3000u);
  EXPECT_EQ(SectionBytes(file, pe.sections[2])[0], 0x5C);
  EXPECT_EQ(SectionBytes(file, pe.sections[3])[0], 0xAA);
  EXPECT_EQ(pe.RawDataEnd(), file.size());
}

// Each row breaks one rule of the reader or the writer.
TEST(PeFile, RefusesWhatItCannotReadOrExtend) {
  struct Row {
    const char* what;
    std::vector<uint8_t> file;
    const char* error;
  };
  std::vector<Row> rows;
  rows.push_back({"no MZ", std::vector<uint8_t>(0x400, 0), "DOS header: missing"});
  std::vector<uint8_t> f = SmallPe(3);
  Put32(f, 0x3C, static_cast<uint32_t>(f.size() - 8));
  rows.push_back({"signature beyond the end", f, "PE signature: missing"});
  f = SmallPe(3);
  Put16(f, kCoff + 16, 0xFFFF);
  rows.push_back({"optional header too long", f, "optional header: beyond the end of the file"});
  f = SmallPe(3);
  Put16(f, kOpt, 0x0107);
  rows.push_back({"unknown magic", f, "optional header: unknown magic"});
  f = SmallPe(3);
  Put32(f, kOpt + 36, 0x300);
  rows.push_back({"odd alignment", f,
                  "optional header: alignment is not a power of two within the section's"});
  f = SmallPe(3);
  Put32(f, kOpt + 60, 0);
  rows.push_back({"headers beyond SizeOfHeaders", f,
                  "optional header: headers larger than SizeOfHeaders"});
  f = SmallPe(3);
  Put32(f, kSections + 40 * 2 + 20, 0xFFFFFF00);
  rows.push_back({"raw data beyond the file", f, "section 3: raw data beyond the file"});
  f = SmallPe(3);
  f.push_back(0);
  rows.push_back({"bytes after the sections", f, "file: bytes after the last section's raw data"});
  f = SmallPe(3, 0x200);
  Put32(f, kOpt + 32, 0x200);  // sections right after the headers in memory too
  for (int i = 0; i < 3; ++i) Put32(f, kSections + 40 * i + 12, 0x200 * (i + 1));
  rows.push_back({"headers full", f, "headers: no room for one more section header"});
  for (Row& row : rows) {
    std::string error;
    EXPECT_FALSE(AppendSection(row.file, ".data", 0xE0000040, std::vector<uint8_t>(4), error))
        << row.what;
    EXPECT_EQ(error, row.error) << row.what;
  }
}

}  // namespace
}  // namespace tulora::pefile
