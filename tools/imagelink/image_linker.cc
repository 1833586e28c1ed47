#include "tools/imagelink/image_linker.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "tools/imagelink/link_records.h"

namespace tulora::imagelink {
namespace {

using image::RelocationKind;

// What a section becomes in the image.
enum class Role { kIgnore, kCode, kConst, kTexts, kVar, kRecords };

// The segment a reference lands in; kNumber is a reserved table symbol.
enum class Target { kCode, kConst, kVar, kServices, kNumber };

// x86-64 and i386 relocation types the linker understands.
constexpr uint32_t R_X86_64_NONE = 0, R_X86_64_PC32 = 2, R_X86_64_PLT32 = 4, R_X86_64_32 = 10,
                   R_X86_64_32S = 11;
constexpr uint32_t R_386_NONE = 0, R_386_32 = 1, R_386_PC32 = 2, R_386_PLT32 = 4;

// Header words whose meaning belongs to the runtime; the values of the
// image this system was made after.
constexpr uint32_t HEADER_WORD28 = 1, HEADER_WORD30 = 0, HEADER_WORD34 = 0x12B60;
constexpr uint32_t MAX_CODE_OFFSET = (1u << 29) - 4;  // bits 3-31 of a CodeRelocation

// Readable C++ names for messages; long names stay as they are.
std::string Demangled(const std::string& name) {
  if (name.size() > 256 || name.compare(0, 2, "_Z") != 0) return name;
  int status = 0;
  char* text = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
  std::string out = status == 0 && text ? text : name;
  std::free(text);
  return out;
}

// One text of a string section: where it starts in the section and where
// it went in const.
struct TextPiece {
  uint64_t start, length;
  uint32_t constOffset;
};

void StoreField(std::vector<uint8_t>& code, uint64_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) code[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

int32_t LoadField(const std::vector<uint8_t>& code, uint64_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(code[at + i]) << (8 * i);
  return static_cast<int32_t>(v);
}

struct Resolved {
  Target target;
  int64_t offset;  // within the target segment (or the number)
  int64_t addend;
  image::FixupGroup group = image::FIXUP_NONE;
};

class Linker {
 public:
  Linker(const ElfObject& object, std::string& error) : obj_(object), error_(error) {}
  bool Link(image::ProgramImage& out);

 private:
  bool Fail(const std::string& message) {
    error_ = message;
    return false;
  }
  std::string SymbolName(const ElfSymbol& sym) const;
  const ElfSymbol* SymbolPointerAt(uint32_t section, uint64_t offset) const;
  std::string SymbolAt(uint32_t section, uint64_t offset) const;
  std::string UserOf(uint32_t section, uint64_t offset) const;
  std::string Where(uint32_t section, uint64_t offset) const;
  std::string TargetName(uint32_t section, const ElfRelocation& r) const;

  bool Classify();
  bool RefuseSection(uint32_t index, const char* what);
  bool Place(uint32_t index, std::vector<uint8_t>* segment, uint64_t& size, uint8_t fill);
  bool LayoutCodeAndVar();
  bool SplitTexts(uint32_t index, std::vector<std::string>& pool);
  uint32_t StoreText(const std::string& text);
  bool LayoutConst();
  bool LayoutCommon();
  bool MapText(uint32_t section, uint64_t at, uint32_t& constOffset) const;
  bool Resolve(const ElfRelocation& r, bool relative, int64_t addend, Resolved& out,
               const std::string& where);
  bool ApplyAll();
  bool Apply(uint32_t section, const ElfRelocation& r);
  bool Finish(image::ProgramImage& out);

  const ElfObject& obj_;
  std::string& error_;
  LinkRecords records_;
  std::vector<Role> roles_;
  std::vector<uint64_t> bases_;  // each section's offset within its segment
  std::map<uint32_t, std::vector<TextPiece>> pieces_;
  std::map<std::string, uint32_t> texts_;
  std::map<uint32_t, uint64_t> commons_;  // symbol index -> var offset
  std::vector<uint8_t> code_, const_;
  uint64_t varSize_ = 0;
  std::vector<image::CodeRelocation> relocations_;
  image::LinkFixupList fixups_;
};

std::string Linker::SymbolName(const ElfSymbol& sym) const {
  if (sym.type == STT_SECTION && sym.section < obj_.sections.size())
    return "section " + obj_.sections[sym.section].name;
  std::string plain = Demangled(sym.name);
  return plain == sym.name ? "'" + sym.name + "'" : "'" + plain + "' (" + sym.name + ")";
}

// The defined symbol that covers `offset` in `section` (or the nearest one
// before it), for messages.
const ElfSymbol* Linker::SymbolPointerAt(uint32_t section, uint64_t offset) const {
  const ElfSymbol* best = nullptr;
  for (const ElfSymbol& s : obj_.symbols) {
    if (s.section != section || s.type == STT_SECTION || s.type == STT_FILE || s.name.empty())
      continue;
    if (s.value > offset) continue;
    bool covers = offset < s.value + std::max<uint64_t>(s.size, 1);
    bool bestCovers = best && offset < best->value + std::max<uint64_t>(best->size, 1);
    if (!best || (covers && !bestCovers) || (covers == bestCovers && s.value > best->value))
      best = &s;
  }
  return best;
}

std::string Linker::SymbolAt(uint32_t section, uint64_t offset) const {
  const ElfSymbol* s = SymbolPointerAt(section, offset);
  return s ? SymbolName(*s) : "(unnamed)";
}

// For constants the compiler made (local labels such as .LC5, or bytes
// without a symbol), the code that uses the one at `offset` of `section`:
// " (used by 'Foo()' in section '.text')", or nothing when no code refers
// to it.
std::string Linker::UserOf(uint32_t section, uint64_t offset) const {
  const ElfSymbol* holder = SymbolPointerAt(section, offset);
  if (holder && holder->name.compare(0, 2, ".L") != 0) return "";
  std::string user;
  uint64_t bestStart = 0;
  for (const ElfRelocations& rel : obj_.relocations) {
    if (roles_[rel.section] != Role::kCode) continue;
    const ElfSection& code = obj_.sections[rel.section];
    for (const ElfRelocation& r : rel.entries) {
      const ElfSymbol& s = obj_.symbols[r.symbol];
      if (&s == holder) return " (used by " + Where(rel.section, r.offset) + ")";
      if (holder || s.type != STT_SECTION || s.section != section) continue;
      int64_t addend = r.addend;
      if (!obj_.rela && r.offset <= code.data.size() && code.data.size() - r.offset >= 4)
        addend = LoadField(
            std::vector<uint8_t>(code.data.begin() + r.offset, code.data.begin() + r.offset + 4),
            0);
      uint64_t start = s.value + static_cast<uint64_t>(addend);
      if (start > offset || (!user.empty() && start < bestStart)) continue;
      bestStart = start;
      user = " (used by " + Where(rel.section, r.offset) + ")";
    }
  }
  return user;
}

std::string Linker::Where(uint32_t section, uint64_t offset) const {
  return SymbolAt(section, offset) + " in section '" + obj_.sections[section].name + "'";
}

// The symbol a relocation of `section` refers to; for a section symbol, the
// symbol found at the addressed offset.
std::string Linker::TargetName(uint32_t section, const ElfRelocation& r) const {
  const ElfSymbol& sym = obj_.symbols[r.symbol];
  if (sym.type != STT_SECTION || sym.section >= obj_.sections.size()) return SymbolName(sym);
  int64_t addend = r.addend;
  const ElfSection& s = obj_.sections[section];
  if (!obj_.rela && r.offset <= s.data.size() && s.data.size() - r.offset >= 4)
    addend = static_cast<int32_t>(LoadField(
        std::vector<uint8_t>(s.data.begin() + r.offset, s.data.begin() + r.offset + 4), 0));
  std::string named = SymbolAt(sym.section, sym.value + addend);
  return named == "(unnamed)" ? SymbolName(sym) : named;
}

bool Linker::RefuseSection(uint32_t index, const char* what) {
  const ElfSection& s = obj_.sections[index];
  std::string symbol = SymbolAt(index, 0);
  for (const ElfRelocations& rel : obj_.relocations)
    if (rel.section == index && !rel.entries.empty() && symbol == "(unnamed)")
      symbol = TargetName(index, rel.entries[0]);
  return Fail(std::string(what) + " " + symbol + " in section '" + s.name +
              "' cannot be expressed in the image");
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool Linker::Classify() {
  roles_.assign(obj_.sections.size(), Role::kIgnore);
  for (uint32_t i = 1; i < obj_.sections.size(); ++i) {
    const ElfSection& s = obj_.sections[i];
    if (!(s.flags & SHF_ALLOC) || s.type == SHT_NOTE || s.name == ".eh_frame") continue;
    if (s.align > MAX_SECTION_ALIGN)
      return Fail("section '" + s.name + "': alignment " + std::to_string(s.align) + " above " +
                  std::to_string(MAX_SECTION_ALIGN));
    bool ctors = s.type == SHT_INIT_ARRAY || s.type == SHT_FINI_ARRAY ||
                 s.type == SHT_PREINIT_ARRAY || StartsWith(s.name, ".ctors") ||
                 StartsWith(s.name, ".dtors") || StartsWith(s.name, ".init_array") ||
                 StartsWith(s.name, ".fini_array");
    if (s.flags & SHF_TLS) return RefuseSection(i, "thread-local data");
    if (ctors) return RefuseSection(i, "static constructor or destructor");
    if (IsRecordSection(s.name))
      roles_[i] = Role::kRecords;
    else if (s.flags & SHF_EXECINSTR) {
      if (s.type != SHT_PROGBITS) return RefuseSection(i, "code without stored bytes");
      roles_[i] = Role::kCode;
    } else if (s.type == SHT_NOBITS && (s.flags & SHF_WRITE))
      roles_[i] = Role::kVar;
    else if (s.flags & SHF_WRITE) {
      if (s.size != 0) return RefuseSection(i, "initialised writable data");
    } else if (s.type == SHT_PROGBITS && (s.flags & SHF_MERGE) && (s.flags & SHF_STRINGS) &&
               s.entrySize == 1) {
      roles_[i] = Role::kTexts;
    } else if (s.type == SHT_PROGBITS) {
      roles_[i] = Role::kConst;
    } else {
      return Fail("section '" + s.name + "' of type " + std::to_string(s.type) +
                  " cannot be expressed in the image");
    }
  }
  return true;
}

uint64_t AlignUp(uint64_t value, uint64_t align) {
  return align > 1 ? (value + align - 1) & ~(align - 1) : value;
}

// Appends section `index` to a segment (`segment` null: no stored bytes).
bool Linker::Place(uint32_t index, std::vector<uint8_t>* segment, uint64_t& size, uint8_t fill) {
  const ElfSection& s = obj_.sections[index];
  uint64_t at = AlignUp(size, s.align);
  size = s.size > MAX_CODE_OFFSET ? s.size : at + s.size;
  if (size > MAX_CODE_OFFSET)
    return Fail("section '" + s.name + "': the segment grows past " +
                std::to_string(MAX_CODE_OFFSET) + " bytes");
  bases_[index] = at;
  if (segment) {
    segment->resize(at, fill);
    segment->insert(segment->end(), s.data.begin(), s.data.end());
  }
  return true;
}

bool Linker::LayoutCodeAndVar() {
  uint64_t codeSize = 0;
  for (uint32_t i = 1; i < obj_.sections.size(); ++i) {
    if (roles_[i] == Role::kCode && !Place(i, &code_, codeSize, 0xCC)) return false;
    if (roles_[i] == Role::kVar && !Place(i, nullptr, varSize_, 0)) return false;
  }
  return LayoutCommon();
}

// Common symbols (uninitialised globals of the -fcommon kind) go to var,
// aligned to the alignment they carry in their value.
bool Linker::LayoutCommon() {
  for (uint32_t i = 1; i < obj_.symbols.size(); ++i) {
    const ElfSymbol& s = obj_.symbols[i];
    if (s.section != SHN_COMMON) continue;
    uint64_t align = s.value ? s.value : 1;
    if ((align & (align - 1)) != 0 || align > MAX_SECTION_ALIGN || s.size > MAX_CODE_OFFSET)
      return Fail("common symbol " + SymbolName(s) + ": alignment or size out of range");
    commons_[i] = AlignUp(varSize_, align);
    varSize_ = commons_[i] + s.size;
  }
  if (varSize_ > MAX_CODE_OFFSET) return Fail("var segment: grows past the image's limit");
  return true;
}

// Splits a string section into its texts; the pool keeps first-seen order.
bool Linker::SplitTexts(uint32_t index, std::vector<std::string>& pool) {
  const ElfSection& s = obj_.sections[index];
  std::vector<TextPiece>& pieces = pieces_[index];
  for (uint64_t at = 0; at < s.data.size();) {
    const void* nul = std::memchr(s.data.data() + at, 0, s.data.size() - at);
    if (!nul)
      return Fail("text at " + std::to_string(at) + " in section '" + s.name + "' is not ended");
    uint64_t length = static_cast<const uint8_t*>(nul) - (s.data.data() + at);
    pieces.push_back({at, length, 0});
    std::string text(reinterpret_cast<const char*>(s.data.data() + at), length);
    if (!text.empty() && std::find(pool.begin(), pool.end(), text) == pool.end())
      pool.push_back(text);
    at += length + 1;
  }
  return true;
}

// The const offset of `text`, stored at the end of const if it is new.
uint32_t Linker::StoreText(const std::string& text) {
  if (text.empty()) return EMPTY_TEXT_OFFSET;
  auto found = texts_.find(text);
  if (found != texts_.end()) return found->second;
  uint32_t at = static_cast<uint32_t>(const_.size());
  const_.insert(const_.end(), text.begin(), text.end());
  const_.push_back(0);
  texts_[text] = at;
  return at;
}

// Const: bytes 0-7 hold the first texts that fit (zeros otherwise), byte 8
// is the empty text, then the remaining texts, then the other read-only
// sections, then the names of the DllFunctionTable not stored yet.
bool Linker::LayoutConst() {
  std::vector<std::string> pool;
  for (uint32_t i = 1; i < obj_.sections.size(); ++i)
    if (roles_[i] == Role::kTexts && !SplitTexts(i, pool)) return false;
  for (const std::string& text : pool) {
    if (const_.size() + text.size() + 1 > EMPTY_TEXT_OFFSET) continue;
    StoreText(text);
  }
  const_.resize(EMPTY_TEXT_OFFSET + 1, 0);
  for (const std::string& text : pool) StoreText(text);
  for (auto& [index, pieces] : pieces_)
    for (TextPiece& piece : pieces) {
      const uint8_t* start = obj_.sections[index].data.data() + piece.start;
      piece.constOffset =
          StoreText(std::string(reinterpret_cast<const char*>(start), piece.length));
    }
  uint64_t size = const_.size();
  for (uint32_t i = 1; i < obj_.sections.size(); ++i)
    if (roles_[i] == Role::kConst && !Place(i, &const_, size, 0)) return false;
  for (image::DllFunction& f : records_.dllFunctions) {
    f.dllNameOffset = StoreText(f.dllName);
    f.functionNameOffset = StoreText(f.functionName);
  }
  if (const_.size() > MAX_CODE_OFFSET) return Fail("const segment: grows past the image's limit");
  return true;
}

// The const offset of byte `at` of string section `section`.
bool Linker::MapText(uint32_t section, uint64_t at, uint32_t& constOffset) const {
  for (const TextPiece& piece : pieces_.at(section)) {
    if (at < piece.start || at > piece.start + piece.length) continue;
    constOffset = piece.constOffset + static_cast<uint32_t>(at - piece.start);
    return true;
  }
  return false;
}

bool Linker::Resolve(const ElfRelocation& r, bool relative, int64_t addend, Resolved& out,
                     const std::string& where) {
  const ElfSymbol& sym = obj_.symbols[r.symbol];
  out = {Target::kCode, 0, addend};
  if (r.symbol == 0) return Fail(where + ": a field without a symbol cannot be expressed");
  if (sym.section == SHN_UNDEF) {
    auto reserved = records_.reserved.find(sym.name);
    if (reserved != records_.reserved.end()) {
      out = {Target::kNumber, reserved->second.value, addend, reserved->second.group};
      return true;
    }
    if (sym.name == SERVICES_SYMBOL)
      out.target = Target::kServices;
    else if (sym.name == EMPTY_TEXT_SYMBOL)
      out = {Target::kConst, EMPTY_TEXT_OFFSET, addend};
    else
      return Fail(where + ": undefined symbol " + SymbolName(sym));
    return true;
  }
  if (sym.section == SHN_COMMON) {
    out = {Target::kVar, static_cast<int64_t>(commons_.at(r.symbol)), addend};
    return true;
  }
  if (sym.section == SHN_ABS)
    return Fail(where + ": absolute symbol " + SymbolName(sym) + " cannot be expressed");
  Role role = roles_[sym.section];
  const std::string& name = obj_.sections[sym.section].name;
  int64_t value = static_cast<int64_t>(sym.value);
  switch (role) {
    case Role::kCode: out.target = Target::kCode; break;
    case Role::kConst: out.target = Target::kConst; break;
    case Role::kVar: out.target = Target::kVar; break;
    case Role::kTexts: {
      // A section symbol names the text by its addend, a text's own symbol
      // by its value (the assembler keeps those for PC-relative fields).
      bool bySection = sym.type == STT_SECTION;
      if (bySection && relative)
        return Fail(where + ": PC-relative field into the texts of section '" + name +
                    "' names no text");
      uint64_t at = bySection ? sym.value + addend : sym.value;
      uint32_t constOffset = 0;
      if (!MapText(sym.section, at, constOffset))
        return Fail(where + ": refers past the texts of section '" + name + "'");
      out = {Target::kConst, constOffset, bySection ? 0 : addend};
      return true;
    }
    default:
      return Fail(where + ": refers to " + SymbolName(sym) + " in section '" + name +
                  "', which is not part of the image");
  }
  if (__builtin_add_overflow(static_cast<int64_t>(bases_[sym.section]), value, &out.offset))
    return Fail(where + ": symbol " + SymbolName(sym) + " lies out of reach");
  return true;
}

bool Linker::Apply(uint32_t section, const ElfRelocation& r) {
  const ElfSection& s = obj_.sections[section];
  std::string where = "field at " + std::to_string(r.offset) + " of " + Where(section, r.offset);
  bool x64 = obj_.machine == Machine::kX86_64;
  if (r.type == (x64 ? R_X86_64_NONE : R_386_NONE)) return true;
  bool absolute = x64 ? r.type == R_X86_64_32 || r.type == R_X86_64_32S : r.type == R_386_32;
  bool relative = x64 ? r.type == R_X86_64_PC32 || r.type == R_X86_64_PLT32
                      : r.type == R_386_PC32 || r.type == R_386_PLT32;
  if (!absolute && !relative)
    return Fail(where + ": relocation type " + std::to_string(r.type) + " against " +
                SymbolName(obj_.symbols[r.symbol]) + " cannot be expressed");
  if (r.offset > s.size || s.size - r.offset < 4)
    return Fail(where + ": field outside the section");
  uint64_t field = bases_[section] + r.offset;
  int64_t addend = obj_.rela ? r.addend : LoadField(code_, field);
  Resolved t;
  if (!Resolve(r, relative, addend, t, where)) return false;
  std::string target = SymbolName(obj_.symbols[r.symbol]);

  if (t.target == Target::kNumber) {
    if (relative || t.addend != 0)
      return Fail(where + ": table symbol " + target + " used other than as a plain 32-bit number");
    StoreField(code_, field, static_cast<uint32_t>(t.offset));
    fixups_.groups[t.group].push_back(static_cast<uint32_t>(field));
    return true;
  }
  int64_t value = 0;
  if (__builtin_add_overflow(t.offset, t.addend, &value) ||
      __builtin_sub_overflow(value, relative ? static_cast<int64_t>(field) : 0, &value))
    return Fail(where + ": value for " + target + " does not fit 32 bits");
  bool fits = relative || r.type == R_X86_64_32S ? value >= INT32_MIN && value <= INT32_MAX
                                                 : value >= INT32_MIN && value <= UINT32_MAX;
  if (!fits) return Fail(where + ": value for " + target + " does not fit 32 bits");
  StoreField(code_, field, static_cast<uint32_t>(value));
  if (relative && t.target == Target::kCode) return true;
  if (relative && !x64)
    return Fail(where + ": PC-relative field to " + target +
                " outside the code cannot be expressed in an i386 image");
  static constexpr RelocationKind kAbsolute[] = {image::RELOC_CODE, image::RELOC_CONST,
                                                 image::RELOC_VAR, image::RELOC_SERVICES};
  static constexpr RelocationKind kRelative[] = {image::RELOC_CODE, image::RELOC_REL_CONST,
                                                 image::RELOC_REL_VAR, image::RELOC_REL_SERVICES};
  size_t which = static_cast<size_t>(t.target);
  relocations_.push_back(
      {static_cast<uint32_t>(field), relative ? kRelative[which] : kAbsolute[which]});
  return true;
}

bool Linker::ApplyAll() {
  for (const ElfRelocations& rel : obj_.relocations) {
    Role role = roles_[rel.section];
    if (role == Role::kIgnore) continue;
    if (role != Role::kCode) {
      if (rel.entries.empty()) continue;
      const ElfRelocation& first = rel.entries[0];
      return Fail("relocation inside const data: " + Where(rel.section, first.offset) +
                  UserOf(rel.section, first.offset) + " refers to " +
                  TargetName(rel.section, first) +
                  " (const data cannot hold addresses) and cannot be expressed in the image");
    }
    for (const ElfRelocation& r : rel.entries)
      if (!Apply(rel.section, r)) return false;
  }
  return true;
}

bool Linker::Finish(image::ProgramImage& out) {
  const ElfSymbol* entry = nullptr;
  for (const ElfSymbol& s : obj_.symbols)
    if (s.name == ENTRY_SYMBOL && s.section != SHN_UNDEF && s.type != STT_SECTION) entry = &s;
  if (!entry) return Fail(std::string("entry routine '") + ENTRY_SYMBOL + "' is not defined");
  if (entry->section >= obj_.sections.size() || roles_[entry->section] != Role::kCode ||
      entry->value >= obj_.sections[entry->section].size)
    return Fail(std::string("entry routine '") + ENTRY_SYMBOL + "' is not in the code");
  out = image::ProgramImage{};
  out.header.word28 = HEADER_WORD28;
  out.header.word30 = HEADER_WORD30;
  out.header.word34 = HEADER_WORD34;
  out.libraries = records_.libraries;
  out.dllFunctions = records_.dllFunctions;
  out.entryCodeOffset = static_cast<uint32_t>(bases_[entry->section] + entry->value);
  auto segment = [](const char* name, uint32_t flags, uint64_t memory,
                    std::vector<uint8_t> stored) {
    image::Segment s;
    s.name = name;
    s.flags = flags;
    s.memorySize = static_cast<uint32_t>(memory);
    s.stored = std::move(stored);
    return s;
  };
  out.segments.push_back(segment("const", image::SEGMENT_STORED, const_.size(), const_));
  out.segments.push_back(segment("form", image::SEGMENT_STORED, 4, std::vector<uint8_t>(4)));
  out.segments.push_back(segment("help", image::SEGMENT_STORED, 56, std::vector<uint8_t>(56)));
  out.segments.push_back(segment("code", image::SEGMENT_CODE, code_.size(), code_));
  out.segments.back().relocations = relocations_;
  out.segments.push_back(segment("var", image::SEGMENT_VAR, varSize_, {}));
  out.fixups = fixups_;
  std::vector<uint8_t> fixups = image::EncodeFixups(fixups_);
  out.segments.push_back(segment("@reloc1", image::SEGMENT_STORED, fixups.size(), fixups));
  if (code_.empty()) return Fail("the object holds no code");
  return true;
}

bool Linker::Link(image::ProgramImage& out) {
  bases_.assign(obj_.sections.size(), 0);
  return ReadLinkRecords(obj_, records_, error_) && Classify() && LayoutCodeAndVar() &&
         LayoutConst() && ApplyAll() && Finish(out);
}

}  // namespace

bool LinkImage(const ElfObject& object, image::ProgramImage& out, std::string& error) {
  return Linker(object, error).Link(out);
}

}  // namespace tulora::imagelink
