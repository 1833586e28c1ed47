#include "runtime/kernel/image_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/kernel/kernel_services.h"
#include "tests/support/test_program.h"

namespace tulora::rt {
namespace {

using test::MakeTestProgram;
using test::TestProgram;

uint32_t Low32(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

uint32_t FieldAt(const LoadedImage& loaded, uint32_t offset) {
  uint32_t v;
  std::memcpy(&v, loaded.codeBase + offset, 4);
  return v;
}

class PlacedProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = MakeTestProgram();
    std::string error;
    ASSERT_TRUE(PlaceImage(program_.image, KernelServiceTable(), loaded_, error)) << error;
  }
  void TearDown() override { UnloadImage(loaded_); }
  template <typename F>
  F Routine(const char* name) {
    return reinterpret_cast<F>(loaded_.codeBase + program_.routines.at(name));
  }
  TestProgram program_;
  LoadedImage loaded_;
};

TEST_F(PlacedProgram, EverySegmentLiesBelowTwoGiB) {
  for (const PlacedSegment& s : loaded_.segments) {
    EXPECT_LT(reinterpret_cast<uintptr_t>(s.address) + s.size, 0x80000000ull) << s.name;
  }
  EXPECT_LT(reinterpret_cast<uintptr_t>(loaded_.services), 0x80000000ull);
  EXPECT_EQ(FindPlaced(loaded_, "@reloc1"), nullptr);
}

TEST_F(PlacedProgram, RelocationFieldsGetTheirBase) {
  uint32_t code = Low32(loaded_.codeBase);
  struct Row {
    uint32_t kind;
    uint32_t added;
  } rows[] = {
      {image::RELOC_SERVICES, Low32(loaded_.services)},
      {image::RELOC_CONST, Low32(loaded_.constBase)},
      {image::RELOC_VAR, Low32(loaded_.varBase)},
      {image::RELOC_CODE, code},
      {image::RELOC_REL_SERVICES, Low32(loaded_.services) - code},
      {image::RELOC_REL_CONST, Low32(loaded_.constBase) - code},
      {image::RELOC_REL_VAR, Low32(loaded_.varBase) - code},
  };
  for (const Row& row : rows) {
    ASSERT_FALSE(program_.relocated[row.kind].empty()) << "kind " << row.kind;
    for (const TestProgram::Field& f : program_.relocated[row.kind]) {
      EXPECT_EQ(FieldAt(loaded_, f.offset), f.stored + row.added) << "kind " << row.kind;
    }
  }
}

TEST_F(PlacedProgram, FixupFieldsTakeTheRuntimeForm) {
  struct Row {
    size_t group;
    uint32_t tag;
  } rows[] = {
      {image::FIXUP_DLL_ENTRY, DLL_SELECTOR_TAG},
      {image::FIXUP_LIBRARY_ROW, LIBRARY_SELECTOR_TAG},
      {image::FIXUP_LIBRARY_TYPE, 0},
  };
  for (const Row& row : rows) {
    ASSERT_FALSE(program_.fixedUp[row.group].empty());
    for (const TestProgram::Field& f : program_.fixedUp[row.group]) {
      EXPECT_EQ(FieldAt(loaded_, f.offset), row.tag | f.stored) << "group " << row.group;
    }
  }
}

TEST_F(PlacedProgram, CodeReadsConstAndVarThroughEveryDataKind) {
  EXPECT_EQ(Routine<uint32_t (*)()>("ReadConstAbs")(), 0x11223344u);
  EXPECT_EQ(Routine<uint32_t (*)()>("ReadConstRip")(), 0x55667788u);
  EXPECT_EQ(Routine<uint32_t (*)(uint32_t)>("StoreVar")(0xCAFE), 0xCAFEu);
  uint32_t stored;
  std::memcpy(&stored, loaded_.varBase + test::VAR_STORED, 4);
  EXPECT_EQ(stored, 0xCAFEu);
  EXPECT_EQ(Routine<uint32_t (*)()>("CodeAddress")(),
            Low32(loaded_.codeBase + program_.routines.at("ThreadRoutine")));
}

TEST_F(PlacedProgram, CodeCallsServicesThroughAbsoluteAndRelativeSlots) {
  for (const char* name : {"AllocateAbs", "AllocateRip"}) {
    void* block = Routine<void* (*)()>(name)();
    ASSERT_NE(block, nullptr) << name;
    std::memset(block, 0xAB, 24);  // the block really has 24 bytes (ASan checks)
    KernelServiceTable().Release(block);
  }
}

TEST_F(PlacedProgram, LibraryTypeCodesKeepTheirValue) {
  EXPECT_EQ(Routine<uint32_t (*)()>("TypeObject")(), TYPE_LIB_OBJECT);
  EXPECT_EQ(Routine<uint32_t (*)()>("TypeVariantRef")(), TYPE_LIB_VARIANT | TYPE_BYREF);
}

TEST_F(PlacedProgram, VarStartsZeroAndConstIsCopied) {
  for (uint32_t i = 0; i < test::VAR_SIZE; ++i) ASSERT_EQ(loaded_.varBase[i], 0) << i;
  EXPECT_EQ(std::memcmp(loaded_.constBase + test::CONST_GREETING, "\xD6\xD0\xCE\xC4 ok", 7), 0);
}

using PlacedProgramDeathTest = PlacedProgram;

TEST_F(PlacedProgramDeathTest, CodeAndConstAreNotWritable) {
  volatile uint8_t* code = loaded_.codeBase;
  volatile uint8_t* constData = loaded_.constBase;
  EXPECT_DEATH(code[0] = 0x90, "");
  EXPECT_DEATH(constData[0] = 1, "");
}

// Each row breaks one thing of a good image; loading must refuse it with a
// message naming the item.
struct Broken {
  const char* name;
  void (*breakIt)(TestProgram&);
  const char* message;
};

image::Segment& Code(TestProgram& p) { return p.image.segments[3]; }

const Broken kBroken[] = {
    {"relocation past the code",
     [](TestProgram& p) {
       Code(p).relocations.push_back({Code(p).memorySize - 3, image::RELOC_CONST});
     },
     "relocation .* outside the segment"},
    {"relocation kind 7",
     [](TestProgram& p) { Code(p).relocations[0].kind = static_cast<image::RelocationKind>(7); },
     "unknown kind 7"},
    {"DLL entry out of range",
     [](TestProgram& p) {
       p.image.dllFunctions.resize(2);  // entry 2 no longer exists
     },
     "group 1 entry 0 .* holds 0x2"},
    {"library row out of range", [](TestProgram& p) { p.image.libraries.resize(2); },
     "group 2 entry 0 .* holds 0x2"},
    {"type of no library",
     [](TestProgram& p) {
       uint32_t wrong = 0x00040030;  // library 4 of a table of 3
       std::memcpy(&Code(p).stored[p.fixedUp[3][0].offset], &wrong, 4);
     },
     "group 3 entry 0 .* holds 0x40030"},
    {"fix-up past the code",
     [](TestProgram& p) { p.image.fixups.groups[3].push_back(Code(p).memorySize - 2); },
     "group 3 entry 2 offset .* outside the code segment"},
    {"group 0 used", [](TestProgram& p) { p.image.fixups.groups[0].push_back(0); },
     "group 0 is not empty"},
    {"entry outside the code", [](TestProgram& p) { p.image.entryCodeOffset = Code(p).memorySize; },
     "entry routine"},
    {"more stored than its size", [](TestProgram& p) { p.image.segments[0].memorySize = 4; },
     "segment 'const': .* stored bytes exceed its size 4"},
    {"no var segment", [](TestProgram& p) { p.image.segments[4].name = "vars"; },
     "lacks its 'var' segment"},
};

TEST(ImageLoader, RefusesBrokenImagesByName) {
  for (const Broken& row : kBroken) {
    TestProgram p = MakeTestProgram();
    row.breakIt(p);
    LoadedImage loaded;
    std::string error;
    EXPECT_FALSE(PlaceImage(p.image, KernelServiceTable(), loaded, error)) << row.name;
    EXPECT_THAT(error, ::testing::ContainsRegex(row.message)) << row.name;
    EXPECT_EQ(loaded.block, nullptr) << row.name;
  }
}

}  // namespace
}  // namespace tulora::rt
