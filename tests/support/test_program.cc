#include "tests/support/test_program.h"

#include <cstring>

#include "image/commands.h"
#include "image/services.h"

namespace tulora::rt::test {
namespace {

using image::RelocationKind;

class Assembler {
 public:
  explicit Assembler(TestProgram& program) : program_(program) {}

  uint32_t Here() const { return static_cast<uint32_t>(code_.size()); }
  void Begin(const char* name) { program_.routines[name] = Here(); }
  void Bytes(std::initializer_list<uint8_t> bytes) { code_.insert(code_.end(), bytes); }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) code_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  // An absolute field (kinds 0-3) holding `value`.
  void Absolute(RelocationKind kind, uint32_t value) { Relocated(kind, value); }
  // A RIP-relative field (kinds 4-6) to `target` in its segment; `trailing`
  // bytes of the instruction follow the field.
  void Relative(RelocationKind kind, uint32_t target, uint32_t trailing = 0) {
    Relocated(kind, target - (Here() + 4 + trailing));
  }
  // A RIP-relative field to a code offset, resolved here as a linker would.
  void CodeRelative(uint32_t target) { U32(target - (Here() + 4)); }
  void Fixup(size_t group, uint32_t value) {
    program_.image.fixups.groups[group].push_back(Here());
    program_.fixedUp[group].push_back({Here(), value});
    U32(value);
  }
  std::vector<uint8_t> Take() { return std::move(code_); }

 private:
  void Relocated(RelocationKind kind, uint32_t value) {
    relocations_.push_back({Here(), kind});
    program_.relocated[kind].push_back({Here(), value});
    U32(value);
  }

 public:
  std::vector<image::CodeRelocation> relocations_;

 private:
  TestProgram& program_;
  std::vector<uint8_t> code_;
};

void CallSlotRip(Assembler& a, uint32_t slot) {
  a.Bytes({0xFF, 0x15});  // call [rip+disp32]
  a.Relative(image::RELOC_REL_SERVICES, slot);
}

// An argument list of one text from const at [rsp]: count, value, high, type.
void TextListOnStack(Assembler& a, uint32_t constOffset) {
  a.Bytes({0x48, 0x8D, 0x05});  // lea rax, [rip+const]
  a.Relative(image::RELOC_REL_CONST, constOffset);
  a.Bytes({0xC7, 0x04, 0x24, 1, 0, 0, 0});  // mov dword [rsp], 1
  a.Bytes({0x89, 0x44, 0x24, 0x04});        // mov [rsp+4], eax
  a.Bytes({0x48, 0xC1, 0xE8, 0x20});        // shr rax, 32
  a.Bytes({0x89, 0x44, 0x24, 0x08});        // mov [rsp+8], eax
  a.Bytes({0xC7, 0x44, 0x24, 0x0C});        // mov dword [rsp+12], TYPE_TEXT
  a.U32(TYPE_TEXT);
}

void ConsoleWrite(Assembler& a, uint32_t constOffset) {
  TextListOnStack(a, constOffset);
  a.Bytes({0xBF});  // mov edi, CMD_CONSOLE_WRITE
  a.U32(CMD_CONSOLE_WRITE);
  a.Bytes({0x48, 0x89, 0xE6});  // mov rsi, rsp
  CallSlotRip(a, SLOT_CALL_KERNEL);
}

void DataRoutines(Assembler& a) {
  a.Begin("ReadConstAbs");
  a.Bytes({0x8B, 0x04, 0x25});  // mov eax, [abs32]
  a.Absolute(image::RELOC_CONST, CONST_WORD);
  a.Bytes({0xC3});
  a.Begin("ReadConstRip");
  a.Bytes({0x8B, 0x05});  // mov eax, [rip+disp32]
  a.Relative(image::RELOC_REL_CONST, CONST_WORD2);
  a.Bytes({0xC3});
  a.Begin("StoreVar");
  a.Bytes({0x89, 0x3C, 0x25});  // mov [abs32], edi
  a.Absolute(image::RELOC_VAR, VAR_STORED);
  a.Bytes({0x8B, 0x05});  // mov eax, [rip+var]
  a.Relative(image::RELOC_REL_VAR, VAR_STORED);
  a.Bytes({0xC3});
  a.Begin("ThreadRoutine");
  a.Bytes({0xC7, 0x05});  // mov dword [rip+var], 0x5A5A
  a.Relative(image::RELOC_REL_VAR, VAR_THREAD, 4);
  a.U32(0x5A5A);
  a.Bytes({0xC3});
}

void ServiceRoutines(Assembler& a, uint32_t threadRoutine) {
  a.Begin("CodeAddress");
  a.Bytes({0xB8});  // mov eax, imm32
  a.Absolute(image::RELOC_CODE, threadRoutine);
  a.Bytes({0xC3});
  a.Begin("AllocateAbs");
  a.Bytes({0x48, 0x83, 0xEC, 0x08, 0xBF, 24, 0, 0, 0});  // sub rsp,8; mov edi,24
  a.Bytes({0xFF, 0x14, 0x25});                           // call [abs32]
  a.Absolute(image::RELOC_SERVICES, SLOT_ALLOCATE);
  a.Bytes({0x48, 0x83, 0xC4, 0x08, 0xC3});
  a.Begin("AllocateRip");
  a.Bytes({0x48, 0x83, 0xEC, 0x08, 0xBF, 24, 0, 0, 0});
  CallSlotRip(a, SLOT_ALLOCATE);
  a.Bytes({0x48, 0x83, 0xC4, 0x08, 0xC3});
  a.Begin("RaiseError");
  a.Bytes({0x48, 0x83, 0xEC, 0x08});
  a.Bytes({0xBE, 0x34, 0x12, 0, 0, 0xBA, 7, 0, 0, 0});  // mov esi,0x1234; mov edx,7
  CallSlotRip(a, SLOT_REPORT_ERROR);
  a.Bytes({0x48, 0x83, 0xC4, 0x08, 0xC3});
}

void SelectorRoutines(Assembler& a, uint32_t threadRoutine) {
  a.Begin("CallDll");
  a.Bytes({0x48, 0x83, 0xEC, 0x08, 0x48, 0x89, 0xFA, 0xBF});  // mov rdx,rdi; mov edi,
  a.Fixup(image::FIXUP_DLL_ENTRY, 2);
  a.Bytes({0xBE, 6, 0, 0, 0});  // mov esi, 6
  CallSlotRip(a, SLOT_CALL_DLL);
  a.Bytes({0x48, 0x83, 0xC4, 0x08, 0xC3});
  a.Begin("CallPause");
  a.Bytes({0x48, 0x83, 0xEC, 0x08, 0x48, 0x89, 0xFA, 0xBF});
  a.Fixup(image::FIXUP_LIBRARY_ROW, 2);
  a.Bytes({0xBE, CMD_PAUSE, 0, 0, 0});
  CallSlotRip(a, SLOT_CALL_LIBRARY);
  a.Bytes({0x48, 0x83, 0xC4, 0x08, 0xC3});
  a.Begin("StartThread");
  a.Bytes({0x48, 0x83, 0xEC, 0x28});        // sub rsp, 40
  a.Bytes({0xC7, 0x04, 0x24, 1, 0, 0, 0});  // count 1
  a.Bytes({0x48, 0x8D, 0x05});              // lea rax, [rip+routine]
  a.CodeRelative(threadRoutine);
  a.Bytes({0x89, 0x44, 0x24, 0x04, 0x48, 0xC1, 0xE8, 0x20, 0x89, 0x44, 0x24, 0x08});
  a.Bytes({0xC7, 0x44, 0x24, 0x0C});
  a.U32(TYPE_ROUTINE);
  a.Bytes({0xBF});
  a.Fixup(image::FIXUP_LIBRARY_ROW, 1);
  a.Bytes({0xBE, CMD_THREAD_START, 0, 0, 0, 0x48, 0x89, 0xE2});  // mov rdx, rsp
  CallSlotRip(a, SLOT_CALL_LIBRARY);
  a.Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3});
  a.Begin("TypeObject");
  a.Bytes({0xB8});
  a.Fixup(image::FIXUP_LIBRARY_TYPE, TYPE_LIB_OBJECT);
  a.Bytes({0xC3});
  a.Begin("TypeVariantRef");
  a.Bytes({0xB8});
  a.Fixup(image::FIXUP_LIBRARY_TYPE, TYPE_LIB_VARIANT | TYPE_BYREF);
  a.Bytes({0xC3});
}

void EntryRoutines(Assembler& a) {
  a.Begin("ReleaseGlobals");
  a.Bytes({0x48, 0x83, 0xEC, 0x28});
  ConsoleWrite(a, CONST_RELEASED);
  a.Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3});
  a.Begin("Entry");
  a.Bytes({0x48, 0x83, 0xEC, 0x28});
  a.Bytes({0xBF, CONTROL_RELEASE_GLOBALS, 0, 0, 0, 0xBE});  // mov edi,3; mov esi,
  a.Absolute(image::RELOC_CODE, 0);                         // patched to ReleaseGlobals below
  a.Bytes({0x31, 0xD2});                                    // xor edx, edx
  CallSlotRip(a, SLOT_PROGRAM_CONTROL);
  ConsoleWrite(a, CONST_GREETING);
  CallSlotRip(a, SLOT_FINISH_MAIN);
  a.Bytes({0x31, 0xFF});  // xor edi, edi
  CallSlotRip(a, SLOT_EXIT);
  a.Bytes({0x48, 0x83, 0xC4, 0x28, 0xC3});
}

std::vector<uint8_t> ConstData(image::ProgramImage& img) {
  std::vector<uint8_t> data(CONST_RELEASED + 16, 0);
  uint32_t words[2] = {0x11223344u, 0x55667788u};
  std::memcpy(&data[CONST_WORD], &words[0], 4);
  std::memcpy(&data[CONST_WORD2], &words[1], 4);
  const char greeting[] = "\xD6\xD0\xCE\xC4 ok\r\n";
  std::memcpy(&data[CONST_GREETING], greeting, sizeof greeting);
  std::memcpy(&data[CONST_RELEASED], "released\r\n", 11);
  auto add = [&data](const char* text) {
    if (*text == 0) return CONST_EMPTY_TEXT;
    uint32_t at = static_cast<uint32_t>(data.size());
    data.insert(data.end(), text, text + std::strlen(text) + 1);
    return at;
  };
#define TULORA_DLL_ROW(id, entry, dll, function) \
  img.dllFunctions.push_back({add(dll), add(function), dll, function});
#include "image/dll_table.def"
  return data;
}

image::Segment MakeSegment(const char* name, uint32_t flags, uint32_t size,
                           std::vector<uint8_t> stored) {
  image::Segment s;
  s.name = name;
  s.flags = flags;
  s.memorySize = size;
  s.stored = std::move(stored);
  return s;
}

}  // namespace

TestProgram MakeTestProgram() {
  TestProgram p;
  p.image.header.word28 = 1;
  p.image.libraries = {
      {"ostra", "0123456789ABCDEF0123456789ABCDEF", 5, 7, "\xba\xcb\xd0\xc4"},
      {"VThread", "00112233445566778899AABBCCDDEEFF", 2, 0, "\xb6\xe0\xcf\xdf\xb3\xcc"},
      {"xtra", "FEDCBA9876543210FEDCBA9876543210", 3, 1, "\xd4\xd3\xcf\xee"},
  };
  std::vector<uint8_t> constData = ConstData(p.image);
  Assembler a(p);
  DataRoutines(a);
  uint32_t thread = p.routines["ThreadRoutine"];
  ServiceRoutines(a, thread);
  SelectorRoutines(a, thread);
  EntryRoutines(a);
  std::vector<uint8_t> code = a.Take();
  // The entry hands over ReleaseGlobals: its field is the kind-3 field
  // written last, holding 0 until now.
  TestProgram::Field& field = p.relocated[image::RELOC_CODE].back();
  field.stored = p.routines["ReleaseGlobals"];
  std::memcpy(&code[field.offset], &field.stored, 4);

  image::Segment codeSegment =
      MakeSegment("code", image::SEGMENT_CODE, static_cast<uint32_t>(code.size()), code);
  codeSegment.relocations = a.relocations_;
  uint32_t constSize = static_cast<uint32_t>(constData.size());
  p.image.segments = {
      MakeSegment("const", image::SEGMENT_STORED, constSize, constData),
      MakeSegment("form", image::SEGMENT_STORED, 4, std::vector<uint8_t>(4)),
      MakeSegment("help", image::SEGMENT_STORED, 56, std::vector<uint8_t>(56)),
      codeSegment,
      MakeSegment("var", image::SEGMENT_VAR, VAR_SIZE, {}),
      MakeSegment("@reloc1", image::SEGMENT_STORED, 0, {}),
  };
  p.image.segments.back().stored = image::EncodeFixups(p.image.fixups);
  p.image.segments.back().memorySize = static_cast<uint32_t>(p.image.segments.back().stored.size());
  p.image.entryCodeOffset = p.routines["Entry"];
  return p;
}

uint32_t AddConstText(TestProgram& program, const char* text) {
  image::Segment& constSegment = program.image.segments[0];
  uint32_t at = static_cast<uint32_t>(constSegment.stored.size());
  constSegment.stored.insert(constSegment.stored.end(), text, text + std::strlen(text) + 1);
  constSegment.memorySize = static_cast<uint32_t>(constSegment.stored.size());
  return at;
}

}  // namespace tulora::rt::test
