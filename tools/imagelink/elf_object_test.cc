#include "tools/imagelink/elf_object.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "tests/support/case_names.h"
#include "tools/imagelink/test_objects.h"

namespace tulora::imagelink {
namespace {

const ElfSection* FindSection(const ElfObject& o, const std::string& name) {
  for (const ElfSection& s : o.sections)
    if (s.name == name) return &s;
  return nullptr;
}

const ElfSymbol* FindSymbol(const ElfObject& o, const std::string& name) {
  for (const ElfSymbol& s : o.symbols)
    if (s.name == name) return &s;
  return nullptr;
}

struct Architecture {
  const char* file;
  Machine machine;
  bool rela;
};

class ElfObjectRead : public testing::TestWithParam<Architecture> {};

TEST_P(ElfObjectRead, DecodesSectionsSymbolsAndRelocations) {
  std::vector<uint8_t> bytes = ReadTestFile(GetParam().file);
  ASSERT_FALSE(bytes.empty());
  ElfObject o;
  std::string error;
  ASSERT_TRUE(ReadElfObject(bytes, o, error)) << error;
  EXPECT_EQ(o.machine, GetParam().machine);
  EXPECT_EQ(o.rela, GetParam().rela);

  const ElfSection* text = FindSection(o, ".text");
  ASSERT_TRUE(text);
  EXPECT_TRUE(text->flags & SHF_EXECINSTR);
  EXPECT_EQ(text->data.size(), text->size);
  const ElfSection* records = FindSection(o, ".tulora.dll_table");
  ASSERT_TRUE(records);
  EXPECT_EQ(records->size, 12u * 148);

  const ElfSymbol* entry = FindSymbol(o, "TuloraEntry");
  ASSERT_TRUE(entry);
  EXPECT_EQ(o.sections[entry->section].name, ".text");
  EXPECT_EQ(entry->type, STT_FUNC);
  const ElfSymbol* services = FindSymbol(o, "tulora_services");
  ASSERT_TRUE(services);
  EXPECT_EQ(services->section, SHN_UNDEF);

  // The relocations of .text name the reserved DLL symbol of entry 0.
  bool sawDllSymbol = false;
  for (const ElfRelocations& rel : o.relocations) {
    if (o.sections[rel.section].name != ".text") continue;
    for (const ElfRelocation& r : rel.entries) {
      EXPECT_LT(r.offset + 4, text->size + 1);
      sawDllSymbol |= o.symbols[r.symbol].name == "tulora_dll_CoInitialize";
    }
  }
  EXPECT_TRUE(sawDllSymbol);
}

INSTANTIATE_TEST_SUITE_P(BothArchitectures, ElfObjectRead,
                         testing::Values(Architecture{"app_main-x86_64.o", Machine::kX86_64, true},
                                         Architecture{"app_main-i386.o", Machine::kI386, false}));

// ELF64 header and record positions, for damaging the x86-64 object.
uint64_t U64(const std::vector<uint8_t>& b, size_t at) {
  uint64_t v;
  std::memcpy(&v, b.data() + at, 8);
  return v;
}
template <typename T>
void Set(std::vector<uint8_t>& b, size_t at, T v) {
  std::memcpy(b.data() + at, &v, sizeof v);
}
size_t SectionHeader(const std::vector<uint8_t>& b, size_t index) {
  return U64(b, 40) + 64 * index;
}
size_t SectionIndex(const std::vector<uint8_t>& b, const std::string& name) {
  ElfObject o;
  std::string error;
  if (!ReadElfObject(b, o, error)) return 0;
  for (size_t i = 0; i < o.sections.size(); ++i)
    if (o.sections[i].name == name) return i;
  return 0;
}
// Byte offset of symbol `index` of .symtab.
size_t SymbolRecord(const std::vector<uint8_t>& b, size_t index) {
  return U64(b, SectionHeader(b, SectionIndex(b, ".symtab")) + 24) + 24 * index;
}

struct Damage {
  const char* name;
  std::function<void(std::vector<uint8_t>&)> apply;
  const char* message;
};
void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

const Damage kDamages[] = {
    {"not ELF", [](auto& b) { b[1] = 'X'; }, "ELF header: not an ELF file"},
    {"unknown class", [](auto& b) { b[4] = 3; }, "ELF header: unknown class 3"},
    {"big-endian", [](auto& b) { b[5] = 2; }, "ELF header: not little-endian"},
    {"executable", [](auto& b) { Set<uint16_t>(b, 16, 2); },
     "ELF header: type 2 is not a relocatable object"},
    {"i386 machine in ELF64", [](auto& b) { Set<uint16_t>(b, 18, 3); },
     "ELF header: machine 3 in an ELF64 file is neither x86-64 nor i386"},
    {"ELF32 class for x86-64", [](auto& b) { b[4] = 1; },
     "ELF header: machine 62 in an ELF32 file"},
    {"section entry size", [](auto& b) { Set<uint16_t>(b, 58, 40); },
     "section headers: entry size 40, expected 64"},
    {"no sections", [](auto& b) { Set<uint16_t>(b, 60, 0); }, "section headers: none"},
    {"headers past end", [](auto& b) { Set<uint64_t>(b, 40, b.size() - 64); },
     "section headers: run past the end of the file"},
    {"name table index", [](auto& b) { Set<uint16_t>(b, 62, 500); },
     "section headers: name table index 500 out of range"},
    {"section data past end", [](auto& b) { Set<uint64_t>(b, SectionHeader(b, 1) + 32, 1u << 30); },
     "section 1: data at"},
    {"section name offset", [](auto& b) { Set<uint32_t>(b, SectionHeader(b, 1), 0x100000); },
     "section 1: name offset 1048576 is not a text of the name table"},
    {"alignment", [](auto& b) { Set<uint64_t>(b, SectionHeader(b, 1) + 48, 3); },
     "alignment 3 is not a power of two"},
    {"symbol name", [](auto& b) { Set<uint32_t>(b, SymbolRecord(b, 1), 0x100000); },
     "symbol 1: name offset 1048576 is not a text of the string table"},
    {"symbol section", [](auto& b) { Set<uint16_t>(b, SymbolRecord(b, 1) + 6, 0x200); },
     "section index 512 out of range"},
    {"symbol table entry size",
     [](auto& b) { Set<uint64_t>(b, SectionHeader(b, SectionIndex(b, ".symtab")) + 56, 16); },
     "symbol table '.symtab': entry size 16"},
    {"relocation symbol",
     [](auto& b) {
       size_t rela = U64(b, SectionHeader(b, SectionIndex(b, ".rela.text")) + 24);
       Set<uint32_t>(b, rela + 12, 0x10000);
     },
     "relocation section"},
    {"relocation target",
     [](auto& b) { Set<uint32_t>(b, SectionHeader(b, SectionIndex(b, ".rela.text")) + 44, 900); },
     "target section 900 out of range"},
    {"REL in x86-64",
     [](auto& b) {
       Set<uint32_t>(b, SectionHeader(b, SectionIndex(b, ".rela.text")) + 4, SHT_REL);
     },
     "REL relocations in an x86-64 object"},
    {"relocations not linked to the symbol table",
     [](auto& b) { Set<uint32_t>(b, SectionHeader(b, SectionIndex(b, ".rela.text")) + 40, 1); },
     "not linked to the symbol table"},
};

class ElfObjectDamage : public testing::TestWithParam<Damage> {};

TEST_P(ElfObjectDamage, IsRefusedByName) {
  std::vector<uint8_t> bytes = ReadTestFile("app_main-x86_64.o");
  ASSERT_GT(bytes.size(), 64u);
  GetParam().apply(bytes);
  ElfObject o;
  std::string error;
  EXPECT_FALSE(ReadElfObject(bytes, o, error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << "got: " << error;
}

INSTANTIATE_TEST_SUITE_P(Rules, ElfObjectDamage, testing::ValuesIn(kDamages),
                         test_support::NameFromLabel());

// Cutting the object anywhere before its section headers' end is refused
// without reading past the cut.
TEST(ElfObject, TruncatedObjectsAreRefused) {
  for (const char* file : {"app_main-x86_64.o", "app_main-i386.o"}) {
    std::vector<uint8_t> bytes = ReadTestFile(file);
    ASSERT_FALSE(bytes.empty());
    for (size_t n = 0; n < bytes.size(); n += 7) {
      std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
      ElfObject o;
      std::string error;
      EXPECT_FALSE(ReadElfObject(cut, o, error)) << file << " cut at " << n;
    }
  }
}

}  // namespace
}  // namespace tulora::imagelink
