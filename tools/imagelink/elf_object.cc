#include "tools/imagelink/elf_object.h"

#include <cstring>

namespace tulora::imagelink {
namespace {

constexpr uint16_t ET_REL = 1, EM_386 = 3, EM_X86_64 = 62;
constexpr uint16_t SHN_LORESERVE = 0xFF00;

// Sizes of the records that differ between the two classes.
struct Layout {
  bool is64;
  size_t header, section, symbol, relocation;
};
constexpr Layout kElf64 = {true, 64, 64, 24, 24};
constexpr Layout kElf32 = {false, 52, 40, 16, 8};

bool Inside(uint64_t at, uint64_t length, uint64_t size) {
  return at <= size && length <= size - at;
}

class Reader {
 public:
  Reader(std::span<const uint8_t> bytes, std::string& error) : bytes_(bytes), error_(error) {}

  bool Read(ElfObject& out);

 private:
  bool Fail(const std::string& item, const std::string& problem) {
    error_ = item + ": " + problem;
    return false;
  }
  uint64_t U(size_t at, size_t width) const {
    uint64_t v = 0;
    for (size_t i = 0; i < width; ++i) v |= static_cast<uint64_t>(bytes_[at + i]) << (8 * i);
    return v;
  }
  // A table of fixed-size records: its declared entry size must be the
  // class's record size and its size a whole number of records.
  bool FitsEntries(const std::string& item, const ElfSection& s, size_t entry,
                   const char* records) {
    if (s.entrySize == entry && s.size % entry == 0) return true;
    return Fail(item, "entry size " + std::to_string(s.entrySize) + " or size " +
                          std::to_string(s.size) + " does not fit " + records + " of " +
                          std::to_string(entry) + " bytes");
  }
  // A word of the class's natural width: 8 bytes in ELF64, 4 in ELF32.
  uint64_t Word(size_t at) const { return U(at, layout_.is64 ? 8 : 4); }

  bool ReadIdent(ElfObject& out);
  bool ReadSectionHeaders(ElfObject& out);
  bool ReadSectionNames(ElfObject& out, uint32_t namesIndex,
                        const std::vector<uint32_t>& nameOffsets);
  bool ReadSymbols(ElfObject& out);
  bool ReadRelocations(ElfObject& out, uint32_t index);
  static bool String(std::span<const uint8_t> table, uint64_t at, std::string& out);

  std::span<const uint8_t> bytes_;
  std::string& error_;
  Layout layout_ = kElf64;
  uint32_t symtab_ = 0;
};

bool Reader::String(std::span<const uint8_t> table, uint64_t at, std::string& out) {
  if (at >= table.size()) return false;
  const void* nul = std::memchr(table.data() + at, 0, table.size() - at);
  if (!nul) return false;
  out.assign(reinterpret_cast<const char*>(table.data() + at),
             static_cast<const uint8_t*>(nul) - (table.data() + at));
  return true;
}

bool Reader::ReadIdent(ElfObject& out) {
  if (bytes_.size() < 16 || std::memcmp(bytes_.data(),
                                        "\x7f"
                                        "ELF",
                                        4) != 0)
    return Fail("ELF header", "not an ELF file");
  uint8_t elfClass = bytes_[4], data = bytes_[5], version = bytes_[6];
  if (elfClass != 1 && elfClass != 2)
    return Fail("ELF header", "unknown class " + std::to_string(elfClass));
  if (data != 1) return Fail("ELF header", "not little-endian");
  if (version != 1) return Fail("ELF header", "unknown version " + std::to_string(version));
  layout_ = elfClass == 2 ? kElf64 : kElf32;
  if (bytes_.size() < layout_.header) return Fail("ELF header", "file shorter than the header");
  uint16_t type = static_cast<uint16_t>(U(16, 2)), machine = static_cast<uint16_t>(U(18, 2));
  if (type != ET_REL)
    return Fail("ELF header", "type " + std::to_string(type) + " is not a relocatable object");
  if (layout_.is64 && machine == EM_X86_64) {
    out.machine = Machine::kX86_64;
    out.rela = true;
  } else if (!layout_.is64 && machine == EM_386) {
    out.machine = Machine::kI386;
    out.rela = false;
  } else {
    return Fail("ELF header", "machine " + std::to_string(machine) + " in an ELF" +
                                  (layout_.is64 ? "64" : "32") +
                                  " file is neither x86-64 nor i386");
  }
  return true;
}

bool Reader::ReadSectionHeaders(ElfObject& out) {
  size_t base = layout_.is64 ? 40 : 32;  // e_shoff
  uint64_t shoff = Word(base);
  size_t rest = base + (layout_.is64 ? 8 : 4) + 4 + 6;  // after e_flags, e_ehsize, e_ph*
  uint16_t shentsize = static_cast<uint16_t>(U(rest, 2));
  uint16_t shnum = static_cast<uint16_t>(U(rest + 2, 2));
  uint16_t shstrndx = static_cast<uint16_t>(U(rest + 4, 2));
  if (shnum == 0) return Fail("section headers", "none (extended numbering is not supported)");
  if (shentsize != layout_.section)
    return Fail("section headers", "entry size " + std::to_string(shentsize) + ", expected " +
                                       std::to_string(layout_.section));
  if (!Inside(shoff, uint64_t{shnum} * shentsize, bytes_.size()))
    return Fail("section headers", "run past the end of the file");
  if (shstrndx >= shnum)
    return Fail("section headers",
                "name table index " + std::to_string(shstrndx) + " out of range");

  out.sections.resize(shnum);
  std::vector<uint32_t> nameOffsets(shnum);
  for (uint32_t i = 0; i < shnum; ++i) {
    size_t at = shoff + size_t{i} * shentsize;
    ElfSection& s = out.sections[i];
    size_t w = layout_.is64 ? 8 : 4;
    nameOffsets[i] = static_cast<uint32_t>(U(at, 4));
    s.type = static_cast<uint32_t>(U(at + 4, 4));
    s.flags = Word(at + 8);
    uint64_t offset = Word(at + 8 + 2 * w);
    s.size = Word(at + 8 + 3 * w);
    s.link = static_cast<uint32_t>(U(at + 8 + 4 * w, 4));
    s.info = static_cast<uint32_t>(U(at + 12 + 4 * w, 4));
    s.align = Word(at + 16 + 4 * w);
    s.entrySize = Word(at + 16 + 5 * w);
    if (i == 0 || s.type == SHT_NOBITS || s.type == 0) continue;
    if (!Inside(offset, s.size, bytes_.size()))
      return Fail("section " + std::to_string(i), "data at " + std::to_string(offset) + " + " +
                                                      std::to_string(s.size) +
                                                      " runs past the end of the file");
    s.data = bytes_.subspan(offset, s.size);
  }
  return ReadSectionNames(out, shstrndx, nameOffsets);
}

bool Reader::ReadSectionNames(ElfObject& out, uint32_t namesIndex,
                              const std::vector<uint32_t>& nameOffsets) {
  const ElfSection& names = out.sections[namesIndex];
  if (names.type != SHT_STRTAB) return Fail("section name table", "is not a string table");
  for (size_t i = 1; i < out.sections.size(); ++i) {
    ElfSection& s = out.sections[i];
    if (!String(names.data, nameOffsets[i], s.name))
      return Fail("section " + std::to_string(i), "name offset " + std::to_string(nameOffsets[i]) +
                                                      " is not a text of the name table");
    if (s.align > 1 && (s.align & (s.align - 1)) != 0)
      return Fail("section " + std::to_string(i) + " '" + s.name + "'",
                  "alignment " + std::to_string(s.align) + " is not a power of two");
  }
  return true;
}

bool Reader::ReadSymbols(ElfObject& out) {
  for (uint32_t i = 1; i < out.sections.size(); ++i) {
    if (out.sections[i].type != SHT_SYMTAB) continue;
    if (symtab_) return Fail("section " + std::to_string(i), "a second symbol table");
    symtab_ = i;
  }
  out.symbols.resize(1);
  if (!symtab_) return true;
  const ElfSection& table = out.sections[symtab_];
  std::string item = "symbol table '" + table.name + "'";
  if (!FitsEntries(item, table, layout_.symbol, "symbols")) return false;
  if (table.link == 0 || table.link >= out.sections.size() ||
      out.sections[table.link].type != SHT_STRTAB)
    return Fail(item,
                "linked string table " + std::to_string(table.link) + " is not a string table");
  std::span<const uint8_t> names = out.sections[table.link].data;
  size_t count = table.size / layout_.symbol;
  out.symbols.resize(count);
  size_t base = table.data.data() - bytes_.data();
  for (size_t i = 1; i < count; ++i) {
    size_t at = base + i * layout_.symbol;
    ElfSymbol& sym = out.symbols[i];
    uint32_t name = static_cast<uint32_t>(U(at, 4));
    uint8_t info;
    if (layout_.is64) {
      info = bytes_[at + 4];
      sym.section = static_cast<uint16_t>(U(at + 6, 2));
      sym.value = U(at + 8, 8);
      sym.size = U(at + 16, 8);
    } else {
      sym.value = U(at + 4, 4);
      sym.size = U(at + 8, 4);
      info = bytes_[at + 12];
      sym.section = static_cast<uint16_t>(U(at + 14, 2));
    }
    sym.type = info & 0xF;
    sym.bind = info >> 4;
    std::string what = "symbol " + std::to_string(i);
    if (!String(names, name, sym.name))
      return Fail(what,
                  "name offset " + std::to_string(name) + " is not a text of the string table");
    bool special = sym.section == SHN_UNDEF || sym.section == SHN_ABS || sym.section == SHN_COMMON;
    if (!special && (sym.section >= SHN_LORESERVE || sym.section >= out.sections.size()))
      return Fail(what + " '" + sym.name + "'",
                  "section index " + std::to_string(sym.section) + " out of range");
  }
  return true;
}

bool Reader::ReadRelocations(ElfObject& out, uint32_t index) {
  const ElfSection& s = out.sections[index];
  std::string item = "relocation section " + std::to_string(index) + " '" + s.name + "'";
  uint32_t wanted = out.rela ? SHT_RELA : SHT_REL;
  if (s.type != wanted)
    return Fail(item, std::string(out.rela ? "REL" : "RELA") + " relocations in an " +
                          (out.machine == Machine::kX86_64 ? "x86-64" : "i386") + " object");
  if (!FitsEntries(item, s, layout_.relocation, "entries")) return false;
  if (!symtab_ || s.link != symtab_) return Fail(item, "not linked to the symbol table");
  if (s.info == 0 || s.info >= out.sections.size())
    return Fail(item, "target section " + std::to_string(s.info) + " out of range");
  ElfRelocations rel;
  rel.section = s.info;
  rel.name = s.name;
  size_t count = s.size / layout_.relocation;
  rel.entries.resize(count);
  size_t base = s.data.data() - bytes_.data();
  for (size_t i = 0; i < count; ++i) {
    size_t at = base + i * layout_.relocation;
    ElfRelocation& r = rel.entries[i];
    if (layout_.is64) {
      r.offset = U(at, 8);
      uint64_t info = U(at + 8, 8);
      r.symbol = static_cast<uint32_t>(info >> 32);
      r.type = static_cast<uint32_t>(info);
      r.addend = static_cast<int64_t>(U(at + 16, 8));
    } else {
      r.offset = U(at, 4);
      uint32_t info = static_cast<uint32_t>(U(at + 4, 4));
      r.symbol = info >> 8;
      r.type = info & 0xFF;
    }
    if (r.symbol >= out.symbols.size())
      return Fail(item + " entry " + std::to_string(i),
                  "symbol index " + std::to_string(r.symbol) + " out of range");
  }
  out.relocations.push_back(std::move(rel));
  return true;
}

bool Reader::Read(ElfObject& out) {
  if (!ReadIdent(out) || !ReadSectionHeaders(out) || !ReadSymbols(out)) return false;
  for (uint32_t i = 1; i < out.sections.size(); ++i) {
    uint32_t type = out.sections[i].type;
    if ((type == SHT_REL || type == SHT_RELA) && !ReadRelocations(out, i)) return false;
  }
  return true;
}

}  // namespace

bool ReadElfObject(std::span<const uint8_t> bytes, ElfObject& out, std::string& error) {
  out = ElfObject{};
  return Reader(bytes, error).Read(out);
}

}  // namespace tulora::imagelink
