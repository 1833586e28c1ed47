#include "image/image_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "image/image_sample.h"
#include "tests/support/case_names.h"

namespace tulora::image {
namespace {

uint32_t GetU32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void SetU32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// Header words by their offset.
constexpr size_t kFirstSegment = 0x24, kLibraryCount = 0x2C, kDllCount = 0x38, kEntry = 0x3C,
                 kConstHeader = 0x40, kFormHeader = 0x44, kCodeHeader = 0x4C, kVarHeader = 0x50;

// Offset of the chain header named `name`.
size_t HeaderOf(const std::vector<uint8_t>& b, const char* name) {
  for (uint32_t at = GetU32(b, kFirstSegment); at != NO_OFFSET; at = GetU32(b, at + 4))
    if (std::strncmp(reinterpret_cast<const char*>(b.data() + at + 12), name, 20) == 0) return at;
  ADD_FAILURE() << "no segment " << name;
  return 0;
}

TEST(ImageFormat, RoundTripKeepsEveryTable) {
  ProgramImage sample = MakeSampleImage();
  std::vector<uint8_t> bytes = WriteImage(sample);
  ProgramImage read;
  std::string error;
  ASSERT_TRUE(ReadImage(bytes, read, error)) << error;

  ASSERT_EQ(read.libraries.size(), 3u);
  EXPECT_EQ(read.libraries[1].name, "VThread");
  EXPECT_EQ(read.libraries[1].guid, "00112233445566778899aabbccddeeff");
  EXPECT_EQ(read.libraries[2].major, 3u);
  EXPECT_EQ(read.libraries[2].minor, 1u);
  EXPECT_EQ(read.libraries[0].displayName, "\xcf\xb5\xcd\xb3");
  ASSERT_EQ(read.dllFunctions.size(), 12u);
  for (size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(read.dllFunctions[i].dllName, sample.dllFunctions[i].dllName) << i;
    EXPECT_EQ(read.dllFunctions[i].functionName, sample.dllFunctions[i].functionName) << i;
  }
  EXPECT_EQ(read.dllFunctions[2].dllNameOffset, 8u);
  EXPECT_EQ(read.dllFunctions[8].functionNameOffset, read.dllFunctions[9].functionNameOffset);

  const char* order[] = {"const", "form", "help", "code", "var", "@reloc1"};
  ASSERT_EQ(read.segments.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(read.segments[i].name, order[i]);
  const Segment* code = read.Find("code");
  ASSERT_TRUE(code);
  EXPECT_EQ(code->stored, sample.segments[3].stored);
  ASSERT_EQ(code->relocations.size(), 7u);
  EXPECT_EQ(code->relocations[6].kind, RELOC_REL_VAR);
  EXPECT_EQ(code->relocations[6].offset, 28u);
  EXPECT_EQ(read.Find("var")->memorySize, 12u);
  EXPECT_TRUE(read.Find("var")->stored.empty());
  for (size_t g = 0; g < FIXUP_GROUP_COUNT; ++g)
    EXPECT_EQ(read.fixups.groups[g], sample.fixups.groups[g]) << g;
  EXPECT_EQ(read.entryCodeOffset, 60u);
  EXPECT_EQ(read.header.word34, 0x12B60u);
  EXPECT_EQ(WriteImage(read), bytes);
}

TEST(ImageFormat, WriterLaysOutHeaderAndChain) {
  std::vector<uint8_t> b = WriteImage(MakeSampleImage());
  // 12 DLL entries: the columns at 0x58 and 0x88, the library rows at 0xB8.
  EXPECT_EQ(GetU32(b, kDllCount), 12u);
  EXPECT_EQ(GetU32(b, 0x58 + 4 * 2), 8u);  // entry 2: the empty text
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 0xB8), 5), "ostra");
  EXPECT_EQ(GetU32(b, kLibraryCount), 3u);
  EXPECT_EQ(GetU32(b, kFirstSegment), GetU32(b, kConstHeader));
  EXPECT_EQ(GetU32(b, 0x54), GetU32(b, kConstHeader));
  EXPECT_EQ(b[GetU32(b, kFirstSegment) - 1], 0);  // the empty row
  EXPECT_EQ(b[GetU32(b, kFirstSegment) - 2], 0);

  size_t var = HeaderOf(b, "var"), code = HeaderOf(b, "code"), reloc = HeaderOf(b, "@reloc1");
  EXPECT_EQ(GetU32(b, kVarHeader), var);
  EXPECT_EQ(GetU32(b, var + 44), NO_OFFSET);
  EXPECT_EQ(GetU32(b, var + 40), 0u);
  EXPECT_EQ(GetU32(b, var + 4), var + 56);  // next header follows directly
  EXPECT_EQ(GetU32(b, var + 8), 0x13u);
  EXPECT_EQ(GetU32(b, code), 56u + 4 * 7);
  EXPECT_EQ(GetU32(b, code + 8), 5u);
  EXPECT_EQ(GetU32(b, code + 44), code + 56 + 28);
  EXPECT_EQ(GetU32(b, kEntry), code + 56 + 28 + 60);
  EXPECT_EQ(GetU32(b, code + 56 + 4), (8u << 3) | 1);
  EXPECT_EQ(GetU32(b, reloc + 4), NO_OFFSET);
  // Group 0 is present with a count of 0, then group 1's count 2.
  EXPECT_EQ(GetU32(b, reloc + 56), 0u);
  EXPECT_EQ(GetU32(b, reloc + 60), 2u);
  EXPECT_EQ(GetU32(b, reloc + 36), 4u * 10);
  EXPECT_EQ(b.size(), reloc + 56 + 40);
}

// The fix-up list is bounded by its counts: the last offset may lie past
// the declared size of "@reloc1", as long as it lies inside the image.
TEST(ImageFormat, FixupListMayRunPastDeclaredSize) {
  std::vector<uint8_t> b = WriteImage(MakeSampleImage());
  size_t reloc = HeaderOf(b, "@reloc1");
  SetU32(b, reloc + 36, 36);
  SetU32(b, reloc + 40, 36);
  ProgramImage read;
  std::string error;
  ASSERT_TRUE(ReadImage(b, read, error)) << error;
  EXPECT_EQ(read.fixups.groups[FIXUP_LIBRARY_TYPE], (std::vector<uint32_t>{48, 52, 56}));
  EXPECT_EQ(read.Find("@reloc1")->stored.size(), 36u);

  b.resize(b.size() - 4);  // now the last offset lies outside the image
  EXPECT_FALSE(ReadImage(b, read, error));
  EXPECT_NE(error.find("LinkFixupList group 3"), std::string::npos) << error;
}

struct Rejection {
  const char* name;
  std::function<void(std::vector<uint8_t>&)> damage;
  const char* message;
};

const Rejection kRejections[] = {
    {"short header", [](auto& b) { b.resize(80); }, "image header: 80 bytes, need 88"},
    {"huge DLL count", [](auto& b) { SetU32(b, kDllCount, 0x40000000); },
     "DllFunctionTable: entry count 1073741824 above"},
    {"DLL columns past end", [](auto& b) { SetU32(b, kDllCount, 2000); },
     "DllFunctionTable: 2000 entries run past the image end"},
    {"first segment inside DLL table", [](auto& b) { SetU32(b, kFirstSegment, 0x60); },
     "image header: first segment 0x60 lies inside the DLL table"},
    {"header past end", [](auto& b) { SetU32(b, HeaderOf(b, "help") + 4, b.size() - 8); },
     "runs past the image end"},
    {"header length", [](auto& b) { SetU32(b, HeaderOf(b, "code"), 60); },
     "segment 'code': header length 60 does not match 7 relocation entries"},
    {"relocations past end",
     [](auto& b) {
       size_t at = HeaderOf(b, "@reloc1");
       SetU32(b, at, 56 + 4 * 1000);
       SetU32(b, at + 48, 1000);
     },
     "segment '@reloc1': relocation entries run past the image end"},
    {"stored above memory size", [](auto& b) { SetU32(b, HeaderOf(b, "form") + 36, 3); },
     "segment 'form': stored size 4 above size in memory 3"},
    {"stored past end",
     [](auto& b) {
       size_t at = HeaderOf(b, "help");
       SetU32(b, at + 36, 0x10000);
       SetU32(b, at + 40, 0x10000);
     },
     "segment 'help': stored bytes at"},
    {"stored without offset", [](auto& b) { SetU32(b, HeaderOf(b, "var") + 40, 4); },
     "segment 'var': stored bytes without an offset"},
    {"stored over header",
     [](auto& b) { SetU32(b, HeaderOf(b, "form") + 44, HeaderOf(b, "form")); },
     "segment 'form': stored bytes overlap the segment header"},
    {"chain loops back", [](auto& b) { SetU32(b, HeaderOf(b, "var") + 4, HeaderOf(b, "code")); },
     "segment chain: header at"},
    {"duplicate segment name",
     [](auto& b) { std::memcpy(b.data() + HeaderOf(b, "help") + 12, "form", 5); },
     "segment chain: two segments named 'form'"},
    {"relocation kind 7", [](auto& b) { SetU32(b, HeaderOf(b, "code") + 56, (4 << 3) | 7); },
     "segment 'code': relocation 0: kind 7 is not a relocation kind"},
    {"relocation outside code", [](auto& b) { SetU32(b, HeaderOf(b, "code") + 60, 61 << 3); },
     "segment 'code': relocation 1: offset 0x3d outside the segment"},
    {"library row not ended",
     [](auto& b) { std::memset(b.data() + 0xB8, 'x', GetU32(b, kFirstSegment) - 0xB8); },
     "LibraryTable: row 0 is not ended before the first segment"},
    {"library row fields", [](auto& b) { b[0xB8 + 5] = 'x'; }, "library row 0: 4 fields, need 5"},
    {"library GUID", [](auto& b) { b[0xB8 + 6] = 'g'; },
     "library row 0: GUID 'g123456789ABCDEF0123456789ABCDEF' is not 32 hexadecimal digits"},
    {"library version", [](auto& b) { b[0xB8 + 6 + 33 + 2] = 'x'; },
     "library row 0: minor version 'x' is not a 32-bit decimal number"},
    {"no first segment", [](auto& b) { SetU32(b, kFirstSegment, NO_OFFSET); },
     "image header: no first segment"},
    {"library count", [](auto& b) { SetU32(b, kLibraryCount, 4); },
     "image header: library count 4 differs from the 3 rows of the LibraryTable"},
    {"segment offset not in chain", [](auto& b) { SetU32(b, kCodeHeader, 0x200); },
     "image header codeHeader: 0x200 is not a segment header of the chain"},
    {"segment offset wrong name", [](auto& b) { SetU32(b, kFormHeader, HeaderOf(b, "help")); },
     "image header formHeader: names segment 'help', not 'form'"},
    {"no @reloc1", [](auto& b) { std::memcpy(b.data() + HeaderOf(b, "@reloc1") + 12, "reloc", 6); },
     "segment chain: no '@reloc1' segment"},
    {"DLL name outside const", [](auto& b) { SetU32(b, 0x58 + 4 * 3, 5000); },
     "DllFunctionTable entry 3: DLL name at const offset 0x1388 is not a text inside the const "
     "segment"},
    {"function name not ended",
     [](auto& b) {
       size_t at = HeaderOf(b, "const");
       SetU32(b, 0x88 + 4 * 11, GetU32(b, at + 40) - 1);
       b[GetU32(b, at + 44) + GetU32(b, at + 40) - 1] = 'A';
     },
     "DllFunctionTable entry 11: function name at const offset"},
    {"entry outside code", [](auto& b) { SetU32(b, kEntry, HeaderOf(b, "var")); },
     "image header: entry offset"},
    {"fixup count past end",
     [](auto& b) { SetU32(b, HeaderOf(b, "@reloc1") + 56 + 4, 0x7fffffff); },
     "LinkFixupList group 1: 2147483647 offsets run past the image end"},
    {"fixup outside code", [](auto& b) { SetU32(b, HeaderOf(b, "@reloc1") + 56 + 8, 62); },
     "LinkFixupList group 1: offset 0 (0x3e) outside the code segment"},
    {"@reloc1 stores nothing", [](auto& b) { SetU32(b, HeaderOf(b, "@reloc1") + 44, NO_OFFSET); },
     "stored bytes without an offset"},
};

void PrintTo(const Rejection& r, std::ostream* os) { *os << r.name; }

class ImageRejection : public testing::TestWithParam<Rejection> {};

TEST_P(ImageRejection, NamesTheOffendingItem) {
  std::vector<uint8_t> bytes = WriteImage(MakeSampleImage());
  GetParam().damage(bytes);
  ProgramImage read;
  std::string error;
  EXPECT_FALSE(ReadImage(bytes, read, error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << "got: " << error;
}

INSTANTIATE_TEST_SUITE_P(AllRules, ImageRejection, testing::ValuesIn(kRejections),
                         test_support::NameFromLabel());

// Every prefix of a valid image is refused without reading past its end.
TEST(ImageFormat, EveryTruncationIsRefused) {
  std::vector<uint8_t> bytes = WriteImage(MakeSampleImage());
  for (size_t n = 0; n < bytes.size(); ++n) {
    std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + n);
    ProgramImage read;
    std::string error;
    EXPECT_FALSE(ReadImage(prefix, read, error)) << n;
    EXPECT_FALSE(error.empty()) << n;
  }
}

// Versions are 32-bit: ten digits read back, a value above 2^32 - 1 is
// refused.
TEST(ImageFormat, LibraryVersionsAreThirtyTwoBit) {
  ProgramImage sample = MakeSampleImage();
  sample.libraries[0].major = 4000000000u;
  std::vector<uint8_t> b = WriteImage(sample);
  ProgramImage read;
  std::string error;
  ASSERT_TRUE(ReadImage(b, read, error)) << error;
  EXPECT_EQ(read.libraries[0].major, 4000000000u);
  std::memcpy(b.data() + 0xB8 + 6 + 33, "9999999999", 10);
  EXPECT_FALSE(ReadImage(b, read, error));
  EXPECT_NE(error.find("library row 0: major version '9999999999' is not a 32-bit decimal number"),
            std::string::npos)
      << error;
}

TEST(ImageFormat, RelocationWordPacksOffsetAndKind) {
  CodeRelocation r = CodeRelocation::Decode(0x3D570 | 5);
  EXPECT_EQ(r.offset, 0x7AAEu);
  EXPECT_EQ(r.kind, RELOC_REL_CONST);
  EXPECT_EQ(r.Encode(), 0x3D575u);
}

}  // namespace
}  // namespace tulora::image
