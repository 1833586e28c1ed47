#include "tools/imagelink/image_linker.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "image/services.h"
#include "tests/support/case_names.h"
#include "tools/imagelink/test_objects.h"

namespace tulora::imagelink {
namespace {

using image::ProgramImage;
using tulora::ArgumentList;
using tulora::ArgumentRecord;
using tulora::CommandResult;
using tulora::CONTROL_RELEASE_GLOBALS;
using tulora::ServiceTable;

// A test object read from the build's test data; the ELF view points into
// `bytes`.
struct TestObject {
  std::vector<uint8_t> bytes;
  ElfObject elf;
  bool Load(const std::string& file) {
    bytes = ReadTestFile(file);
    std::string error;
    return !bytes.empty() && ReadElfObject(bytes, elf, error);
  }
};

bool Link(const std::string& file, ProgramImage& image, std::string& error) {
  TestObject o;
  if (!o.Load(file)) {
    error = "cannot load " + file;
    return false;
  }
  return LinkImage(o.elf, image, error);
}

uint32_t Field(const image::Segment& code, uint32_t at) {
  uint32_t v;
  std::memcpy(&v, code.stored.data() + at, 4);
  return v;
}

size_t CountKind(const image::Segment& code, uint32_t kind) {
  size_t n = 0;
  for (const image::CodeRelocation& r : code.relocations) n += r.kind == kind;
  return n;
}

size_t Occurrences(const std::vector<uint8_t>& data, const std::string& text) {
  size_t n = 0;
  std::string whole(data.begin(), data.end());
  for (size_t at = whole.find(text); at != std::string::npos; at = whole.find(text, at + 1)) ++n;
  return n;
}

class LinkBoth : public testing::TestWithParam<const char*> {
 protected:
  bool x64() const { return std::string(GetParam()) == "x86_64"; }
  std::string File() const { return std::string("app_main-") + GetParam() + ".o"; }
};

TEST_P(LinkBoth, LaysOutTheSegmentChain) {
  ProgramImage image;
  std::string error;
  ASSERT_TRUE(Link(File(), image, error)) << error;
  struct Expected {
    const char* name;
    uint32_t flags;
  } order[] = {{"const", 1}, {"form", 1}, {"help", 1}, {"code", 5}, {"var", 0x13}, {"@reloc1", 1}};
  ASSERT_EQ(image.segments.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(image.segments[i].name, order[i].name);
    EXPECT_EQ(image.segments[i].flags, order[i].flags) << order[i].name;
  }
  EXPECT_EQ(image.Find("form")->stored, std::vector<uint8_t>(4));
  EXPECT_EQ(image.Find("help")->stored, std::vector<uint8_t>(56));
  EXPECT_TRUE(image.Find("var")->stored.empty());
  EXPECT_GE(image.Find("var")->memorySize, 12u);  // counter, scale
  EXPECT_EQ(image.header.word28, 1u);
  EXPECT_EQ(image.header.word34, 0x12B60u);

  // The image writes and reads back with the entry inside the code.
  std::vector<uint8_t> bytes = image::WriteImage(image);
  ProgramImage read;
  ASSERT_TRUE(image::ReadImage(bytes, read, error)) << error;
  EXPECT_EQ(read.entryCodeOffset, image.entryCodeOffset);
  EXPECT_EQ(bytes.size(),
            read.header.firstSegment + 6 * 56 + 4 * image.Find("code")->relocations.size() +
                image.Find("const")->stored.size() + 4 + 56 + image.Find("code")->stored.size() +
                image.Find("@reloc1")->stored.size());
}

TEST_P(LinkBoth, StoresTextsOnceWithTheEmptyTextAtEight) {
  ProgramImage image;
  std::string error;
  ASSERT_TRUE(Link(File(), image, error)) << error;
  const std::vector<uint8_t>& data = image.Find("const")->stored;
  ASSERT_GT(data.size(), 8u);
  EXPECT_EQ(data[8], 0);
  EXPECT_EQ(Occurrences(data, std::string("hello\0", 6)), 1u);
  EXPECT_EQ(Occurrences(data, std::string("hello, world\0", 13)), 1u);
  EXPECT_EQ(Occurrences(data, std::string("wininet.dll\0", 12)), 1u);
  EXPECT_EQ(Occurrences(data, std::string("HttpSendRequestA\0", 17)), 1u);
  // "ole32" and "Ole32" are two texts.
  EXPECT_EQ(Occurrences(data, std::string("ole32\0", 6)), 1u);
  EXPECT_EQ(Occurrences(data, std::string("Ole32\0", 6)), 1u);
}

TEST_P(LinkBoth, CarriesTheDeclaredTables) {
  ProgramImage image;
  std::string error;
  ASSERT_TRUE(Link(File(), image, error)) << error;
  ASSERT_EQ(image.dllFunctions.size(), 12u);
  const std::vector<uint8_t>& data = image.Find("const")->stored;
  for (size_t i = 0; i < 12; ++i) {
    const image::DllFunction& f = image.dllFunctions[i];
    ASSERT_LT(f.dllNameOffset, data.size());
    ASSERT_LT(f.functionNameOffset, data.size());
    const char* dll = reinterpret_cast<const char*>(data.data() + f.dllNameOffset);
    const char* function = reinterpret_cast<const char*>(data.data() + f.functionNameOffset);
    EXPECT_STREQ(dll, kAppMainDllTable[i].dll) << i;
    EXPECT_STREQ(function, kAppMainDllTable[i].function) << i;
  }
  EXPECT_EQ(image.dllFunctions[2].dllNameOffset, EMPTY_TEXT_OFFSET);
  EXPECT_EQ(image.dllFunctions[8].functionNameOffset, image.dllFunctions[9].functionNameOffset);
  EXPECT_EQ(image.dllFunctions[4].dllNameOffset, image.dllFunctions[11].dllNameOffset);

  ASSERT_EQ(image.libraries.size(), 3u);
  const char* names[] = {"ostra", "VThread", "xtra"};
  uint32_t versions[][2] = {{5, 7}, {2, 0}, {3, 1}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(image.libraries[i].name, names[i]);
    EXPECT_EQ(image.libraries[i].major, versions[i][0]);
    EXPECT_EQ(image.libraries[i].minor, versions[i][1]);
    EXPECT_EQ(image.libraries[i].guid.size(), 32u);
  }
  EXPECT_EQ(image.libraries[1].displayName, "\xb6\xe0\xcf\xdf\xb3\xcc\xd6\xa7\xb3\xd6\xbf\xe2");
}

// The fields of the reserved symbols hold their numbers and are listed in
// their groups; group 0 stays empty.
TEST_P(LinkBoth, WritesNumbersIntoFixupGroups) {
  ProgramImage image;
  std::string error;
  ASSERT_TRUE(Link(File(), image, error)) << error;
  const image::Segment& code = *image.Find("code");
  auto values = [&](size_t group) {
    std::vector<uint32_t> out;
    for (uint32_t at : image.fixups.groups[group]) out.push_back(Field(code, at));
    std::sort(out.begin(), out.end());
    return out;
  };
  EXPECT_TRUE(image.fixups.groups[image::FIXUP_NONE].empty());
  EXPECT_EQ(values(image::FIXUP_DLL_ENTRY), (std::vector<uint32_t>{0, 8, 9}));
  EXPECT_EQ(values(image::FIXUP_LIBRARY_ROW), (std::vector<uint32_t>{1}));
  EXPECT_EQ(values(image::FIXUP_LIBRARY_TYPE), (std::vector<uint32_t>{0x00010030, 0x00010031}));
}

TEST_P(LinkBoth, UsesTheRelocationKindsOfItsArchitecture) {
  ProgramImage image;
  std::string error;
  ASSERT_TRUE(Link(File(), image, error)) << error;
  const image::Segment& code = *image.Find("code");
  for (uint32_t kind = 0; kind < 4; ++kind) EXPECT_GT(CountKind(code, kind), 0u) << "kind " << kind;
  for (uint32_t kind = 4; kind < 7; ++kind) {
    if (x64()) {
      EXPECT_GT(CountKind(code, kind), 0u) << "kind " << kind;
    } else {
      EXPECT_EQ(CountKind(code, kind), 0u) << "kind " << kind;
    }
  }
  EXPECT_EQ(CountKind(code, 7), 0u);
  for (const image::CodeRelocation& r : code.relocations) {
    ASSERT_LE(r.offset + 4, code.stored.size());
    uint32_t v = Field(code, r.offset);
    uint32_t limit = r.kind == image::RELOC_SERVICES ? (x64() ? 8 : 4) * 13
                     : r.kind == image::RELOC_VAR    ? image.Find("var")->memorySize
                     : r.kind == image::RELOC_CODE   ? static_cast<uint32_t>(code.stored.size())
                                                     : UINT32_MAX;
    EXPECT_LT(v, limit) << "kind " << r.kind << " at " << r.offset;
  }
}

INSTANTIATE_TEST_SUITE_P(Architectures, LinkBoth, testing::Values("x86_64", "i386"));

// --- Running the x86-64 test application -----------------------------------

struct Recorded {
  std::vector<uint32_t> dllEntries;
  std::string firstDllText;
  uint32_t library = 0, command = 0;
  std::vector<ArgumentRecord> records;
  std::vector<std::string> kernelTexts;
  std::vector<const char*> kernelAddresses;
  uintptr_t releaseGlobals = 0;
  bool finished = false;
  int32_t exitCode = 1234;
};
Recorded recorded;

const char* TextOf(const ArgumentRecord& r) {
  return reinterpret_cast<const char*>(uintptr_t{r.value} | uint64_t{r.high} << 32);
}

uintptr_t TULORA_CALL RecordDll(uint32_t entry, uint32_t count, const uintptr_t* args) {
  if (recorded.dllEntries.empty() && count == 1)
    recorded.firstDllText = reinterpret_cast<const char*>(args[0]);
  recorded.dllEntries.push_back(entry);
  return 0;
}
CommandResult TULORA_CALL RecordLibrary(uint32_t library, uint32_t command, ArgumentList* args) {
  recorded.library = library;
  recorded.command = command;
  recorded.records.assign(args->records, args->records + args->count);
  return 0;
}
CommandResult TULORA_CALL RecordKernel(uint32_t, ArgumentList* args) {
  recorded.kernelTexts.push_back(TextOf(args->records[0]));
  recorded.kernelAddresses.push_back(TextOf(args->records[0]));
  return 0;
}
void TULORA_CALL RecordFinish() { recorded.finished = true; }
void TULORA_CALL RecordExit(int32_t code) { recorded.exitCode = code; }
uintptr_t TULORA_CALL RecordControl(uint32_t selector, uintptr_t a, uintptr_t) {
  if (selector == CONTROL_RELEASE_GLOBALS) recorded.releaseGlobals = a;
  return 0;
}

// Places the segments in memory below 2 GiB the way a runtime does and
// applies the code relocations; the fix-up fields keep their numbers, which
// is the form these recording services take.
class LoadedImage {
 public:
  explicit LoadedImage(const ProgramImage& image) {
    size_t page = 4096;
    auto pages = [&](size_t n) { return (n + page - 1) / page * page; };
    const image::Segment& c = *image.Find("const");
    const image::Segment& code = *image.Find("code");
    const image::Segment& var = *image.Find("var");
    size_t total = page + pages(c.memorySize) + pages(code.memorySize) + pages(var.memorySize + 1);
    void* p = mmap(nullptr, total, PROT_READ | PROT_WRITE | PROT_EXEC,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (p == MAP_FAILED) return;
    base_ = static_cast<uint8_t*>(p);
    size_ = total;
    services_ = reinterpret_cast<ServiceTable*>(base_);
    const_ = base_ + page;
    code_ = const_ + pages(c.memorySize);
    var_ = code_ + pages(code.memorySize);
    *services_ = ServiceTable{};
    services_->CallDllFunction = RecordDll;
    services_->CallLibraryCommand = RecordLibrary;
    services_->CallKernelCommand = RecordKernel;
    services_->FinishMain = RecordFinish;
    services_->ExitProgram = RecordExit;
    services_->ProgramControl = RecordControl;
    std::memcpy(const_, c.stored.data(), c.stored.size());
    std::memcpy(code_, code.stored.data(), code.stored.size());
    uint32_t bases[7] = {Low(services_),
                         Low(const_),
                         Low(var_),
                         Low(code_),
                         Low(services_) - Low(code_),
                         Low(const_) - Low(code_),
                         Low(var_) - Low(code_)};
    for (const image::CodeRelocation& r : code.relocations) {
      uint32_t v;
      std::memcpy(&v, code_ + r.offset, 4);
      v += bases[r.kind];
      std::memcpy(code_ + r.offset, &v, 4);
    }
    entry_ = code_ + image.entryCodeOffset;
  }
  ~LoadedImage() {
    if (base_) munmap(base_, size_);
  }
  bool ok() const { return base_ != nullptr; }
  void Run() const { reinterpret_cast<void(TULORA_CALL*)()>(entry_)(); }
  uint8_t* constBase() const { return const_; }
  ServiceTable* services() const { return services_; }

 private:
  static uint32_t Low(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
  }
  uint8_t* base_ = nullptr;
  size_t size_ = 0;
  ServiceTable* services_ = nullptr;
  uint8_t *const_ = nullptr, *code_ = nullptr, *var_ = nullptr, *entry_ = nullptr;
};

TEST(LinkedImageRuns, EveryFieldReachesItsTarget) {
  ProgramImage image;
  std::string error;
  ASSERT_TRUE(Link("app_main-x86_64.o", image, error)) << error;
  LoadedImage loaded(image);
  ASSERT_TRUE(loaded.ok());
  recorded = Recorded{};
  loaded.Run();

  // Kind 4 (service slots called RIP-relative) and the entry offset.
  EXPECT_TRUE(recorded.finished);
  EXPECT_EQ(recorded.exitCode, 0);
  // Group 1 numbers, and a text through kind 1.
  EXPECT_EQ(recorded.dllEntries, (std::vector<uint32_t>{0, 9, 8}));
  EXPECT_EQ(recorded.firstDllText, "hello");
  // Group 2 and 3 numbers.
  EXPECT_EQ(recorded.library, 1u);
  ASSERT_EQ(recorded.records.size(), 6u);
  EXPECT_EQ(recorded.records[1].type, 0x00010031u);
  EXPECT_EQ(recorded.records[4].type, 0x00010030u);
  // The empty text is const byte 8, by literal and by reserved symbol.
  EXPECT_EQ(TextOf(recorded.records[2]), reinterpret_cast<const char*>(loaded.constBase() + 8));
  ASSERT_EQ(recorded.kernelTexts.size(), 2u);
  EXPECT_EQ(recorded.kernelTexts[0], "hello, world");
  ASSERT_EQ(recorded.kernelAddresses.size(), 2u);
  EXPECT_EQ(recorded.kernelAddresses[1], reinterpret_cast<const char*>(loaded.constBase() + 8));
  // Kind 0: the absolute address of a service slot.
  EXPECT_EQ(recorded.records[4].value,
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&loaded.services()->FinishMain)));
  // Kind 5: a double constant read RIP-relative (2.0 * 1.25 + 0).
  uint64_t bits = uint64_t{recorded.records[5].value} | uint64_t{recorded.records[5].high} << 32;
  EXPECT_EQ(__builtin_bit_cast(double, bits), 2.5);
  // Kinds 2, 3 and 6: routines handed out by address write the global whose
  // absolute address the image reported.
  auto* counter = reinterpret_cast<int32_t*>(uintptr_t{recorded.records[3].value});
  ASSERT_NE(recorded.releaseGlobals, 0u);
  reinterpret_cast<void(TULORA_CALL*)()>(recorded.releaseGlobals)();
  EXPECT_EQ(*counter, -1);
  reinterpret_cast<void(TULORA_CALL*)()>(
      reinterpret_cast<uintptr_t>(TextOf(recorded.records[0])))();
  EXPECT_EQ(*counter, 9);
}

// --- Refusals ----------------------------------------------------------------

struct Refusal {
  const char* object;  // without the architecture suffix
  const char* message;
};
void PrintTo(const Refusal& r, std::ostream* os) { *os << r.object; }

const Refusal kRefusals[] = {
    {"refuse_data", "initialised writable data 'refusedCounter' in section '.data'"},
    {"refuse_const_pointer", "relocation inside const data: 'refusedNames' in section '.rodata'"},
    {"refuse_tls", "thread-local data 'refusedPerThread' in section '.tbss'"},
    {"refuse_ctor", "static constructor or destructor '_GLOBAL__sub_I_"},
    {"refuse_undefined", "undefined symbol 'RefusedMissingRoutine'"},
    // A large local array of texts: its initialiser is an unnamed constant
    // of addresses; the message names the routine that copies it.
    {"refuse_local_table",
     "relocation inside const data: (unnamed) in section '.rodata' (used by "
     "'TuloraEntry' in section '.text')"},
};

class RefusedObject : public testing::TestWithParam<std::tuple<Refusal, const char*>> {};

TEST_P(RefusedObject, NamesSymbolAndSection) {
  auto [refusal, arch] = GetParam();
  ProgramImage image;
  std::string error;
  EXPECT_FALSE(Link(std::string(refusal.object) + "-" + arch + ".o", image, error));
  EXPECT_NE(error.find(refusal.message), std::string::npos) << "got: " << error;
  EXPECT_NE(error.find("section '"), std::string::npos) << "got: " << error;
}

INSTANTIATE_TEST_SUITE_P(Objects, RefusedObject,
                         testing::Combine(testing::ValuesIn(kRefusals),
                                          testing::Values("x86_64", "i386")),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).object) + "_" +
                                  (std::string(std::get<1>(info.param)) == "i386" ? "i386"
                                                                                  : "x86_64");
                         });

// Refusals made by changing a good object.
struct Change {
  const char* name;
  const char* arch;
  std::function<void(ElfObject&, std::vector<uint8_t>&)> apply;
  const char* message;
};
void PrintTo(const Change& c, std::ostream* os) { *os << c.name; }

ElfRelocation* FindRelocation(
    ElfObject& o, const std::function<bool(const ElfSymbol&, const ElfRelocation&)>& pick) {
  for (ElfRelocations& rel : o.relocations)
    for (ElfRelocation& r : rel.entries)
      if (pick(o.symbols[r.symbol], r)) return &r;
  return nullptr;
}
ElfRelocation* ToSymbol(ElfObject& o, const std::string& name) {
  return FindRelocation(o,
                        [&](const ElfSymbol& s, const ElfRelocation&) { return s.name == name; });
}
ElfSection* Section(ElfObject& o, const std::string& name) {
  for (ElfSection& s : o.sections)
    if (s.name == name) return &s;
  return nullptr;
}

const Change kChanges[] = {
    {"no entry routine", "x86_64",
     [](ElfObject& o, auto&) {
       for (ElfSymbol& s : o.symbols)
         if (s.name == "TuloraEntry") s.name = "OtherEntry";
     },
     "entry routine 'TuloraEntry' is not defined"},
    {"unknown relocation type", "x86_64",
     [](ElfObject& o, auto&) { ToSymbol(o, "tulora_services")->type = 9; },
     "relocation type 9 against 'tulora_services' cannot be expressed"},
    {"64-bit absolute field", "x86_64",
     [](ElfObject& o, auto&) { ToSymbol(o, "tulora_services")->type = 1; }, "relocation type 1"},
    {"addend beyond 32 bits", "x86_64",
     [](ElfObject& o, auto&) { ToSymbol(o, "tulora_services")->addend = int64_t{1} << 40; },
     "value for 'tulora_services' does not fit 32 bits"},
    {"addend that overflows", "x86_64",
     [](ElfObject& o, auto&) { ToSymbol(o, "tulora_services")->addend = INT64_MAX; },
     "value for 'tulora_services' does not fit 32 bits"},
    {"table symbol with addend", "x86_64",
     [](ElfObject& o, auto&) { ToSymbol(o, "tulora_dll_CoInitialize")->addend = 4; },
     "table symbol 'tulora_dll_CoInitialize' used other than as a plain 32-bit number"},
    {"table symbol PC-relative", "x86_64",
     [](ElfObject& o, auto&) { ToSymbol(o, "tulora_library_THREAD")->type = 2; },
     "table symbol 'tulora_library_THREAD' used other than"},
    {"i386 PC-relative to var", "i386",
     [](ElfObject& o, auto&) {
       ElfRelocation* r = FindRelocation(o, [&](const ElfSymbol& s, const ElfRelocation& rel) {
         return rel.type == 1 && s.section < o.sections.size() && s.section != 0 &&
                o.sections[s.section].name == ".bss";
       });
       r->type = 2;
     },
     "cannot be expressed in an i386 image"},
    {"missing record section", "i386",
     [](ElfObject& o, auto&) { Section(o, ".tulora.type_table")->name = ".rodata.other"; },
     "section '.tulora.type_table': missing"},
    {"record numbered out of order", "x86_64",
     [](ElfObject& o, std::vector<uint8_t>& copy) {
       ElfSection* s = Section(o, ".tulora.dll_table");
       copy.assign(s->data.begin(), s->data.end());
       copy[0] = 5;
       s->data = copy;
     },
     "DLL table record 0: entry number 5, expected 0"},
    {"undefined entry of the DLL table", "x86_64",
     [](ElfObject& o, auto&) {
       for (ElfSymbol& s : o.symbols)
         if (s.name == "tulora_dll_CoInitialize") s.name = "tulora_dll_CoInitialise";
     },
     "undefined symbol 'tulora_dll_CoInitialise'"},
};

class ChangedObject : public testing::TestWithParam<Change> {};

TEST_P(ChangedObject, IsRefused) {
  TestObject o;
  ASSERT_TRUE(o.Load(std::string("app_main-") + GetParam().arch + ".o"));
  std::vector<uint8_t> copy;
  GetParam().apply(o.elf, copy);
  ProgramImage image;
  std::string error;
  EXPECT_FALSE(LinkImage(o.elf, image, error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << "got: " << error;
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangedObject, testing::ValuesIn(kChanges),
                         test_support::NameFromLabel());

}  // namespace
}  // namespace tulora::imagelink
