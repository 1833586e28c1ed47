// A bounds-checked reader of the relocatable object that `ld -r` makes of
// the application: ELF64 x86-64 (RELA relocations) or ELF32 i386 (REL
// relocations, addend stored in the field). Nothing else is accepted.
//
// The reader only decodes and checks the container; what the sections,
// symbols and relocations mean to the image is the linker's business.
#ifndef TULORA_TOOLS_IMAGELINK_ELF_OBJECT_H
#define TULORA_TOOLS_IMAGELINK_ELF_OBJECT_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tulora::imagelink {

enum class Machine { kX86_64, kI386 };

// ELF constants the linker uses.
inline constexpr uint32_t SHT_PROGBITS = 1, SHT_SYMTAB = 2, SHT_STRTAB = 3, SHT_RELA = 4,
                          SHT_NOTE = 7, SHT_NOBITS = 8, SHT_REL = 9, SHT_INIT_ARRAY = 14,
                          SHT_FINI_ARRAY = 15, SHT_PREINIT_ARRAY = 16, SHT_GROUP = 17;
inline constexpr uint64_t SHF_WRITE = 0x1, SHF_ALLOC = 0x2, SHF_EXECINSTR = 0x4, SHF_MERGE = 0x10,
                          SHF_STRINGS = 0x20, SHF_TLS = 0x400;
inline constexpr uint16_t SHN_UNDEF = 0, SHN_ABS = 0xFFF1, SHN_COMMON = 0xFFF2;
inline constexpr uint8_t STT_NOTYPE = 0, STT_OBJECT = 1, STT_FUNC = 2, STT_SECTION = 3,
                         STT_FILE = 4, STT_TLS = 6;

struct ElfSection {
  std::string name;
  uint32_t type = 0;
  uint64_t flags = 0;
  uint64_t size = 0;
  uint64_t align = 0;
  uint64_t entrySize = 0;
  uint32_t link = 0, info = 0;
  std::span<const uint8_t> data;  // empty for SHT_NOBITS
};

struct ElfSymbol {
  std::string name;
  uint64_t value = 0;
  uint64_t size = 0;
  uint8_t type = 0;
  uint8_t bind = 0;
  uint16_t section = 0;  // SHN_UNDEF, SHN_ABS, SHN_COMMON or a section index
};

struct ElfRelocation {
  uint64_t offset = 0;  // within the section the relocations apply to
  uint32_t type = 0;
  uint32_t symbol = 0;  // index into ElfObject::symbols
  int64_t addend = 0;   // RELA only; REL keeps it in the field
};

struct ElfRelocations {
  uint32_t section = 0;  // the section the relocations apply to
  std::string name;      // of the relocation section itself
  std::vector<ElfRelocation> entries;
};

struct ElfObject {
  Machine machine = Machine::kX86_64;
  bool rela = true;  // x86-64: RELA; i386: REL
  std::vector<ElfSection> sections;
  std::vector<ElfSymbol> symbols;  // index 0 is the null symbol
  std::vector<ElfRelocations> relocations;
};

// Reads `bytes`; on failure returns false and names the offending item in
// `error` ("section 7 '.rodata': data at 0x1200 + 0x40 runs past the end of
// the file"). The returned spans point into `bytes`.
bool ReadElfObject(std::span<const uint8_t> bytes, ElfObject& out, std::string& error);

}  // namespace tulora::imagelink

#endif  // TULORA_TOOLS_IMAGELINK_ELF_OBJECT_H
