// Reading and extending Windows executables (PE32 and PE32+), as far as the
// build tools need: the headers that say what kind of program a file is,
// its section table, and one more section appended after the last.
//
// The reader takes any bytes: every offset and size is checked against the
// file before it is used, and a file that breaks a rule is refused with the
// name of the offending item.
#ifndef TULORA_TOOLS_PEFILE_PE_FILE_H
#define TULORA_TOOLS_PEFILE_PE_FILE_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tulora::pefile {

inline constexpr uint16_t MACHINE_I386 = 0x014C;
inline constexpr uint16_t MACHINE_AMD64 = 0x8664;
inline constexpr uint16_t MAGIC_PE32 = 0x010B;
inline constexpr uint16_t MAGIC_PE32_PLUS = 0x020B;
inline constexpr uint16_t SUBSYSTEM_CONSOLE = 3;

struct Section {
  std::string name;  // up to 8 bytes, without padding
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
  uint32_t characteristics = 0;
};

struct PeFile {
  uint16_t machine = 0;
  uint32_t timeStamp = 0;
  uint16_t magic = 0;  // MAGIC_PE32 or MAGIC_PE32_PLUS
  uint16_t subsystem = 0;
  uint32_t sectionAlignment = 0;
  uint32_t fileAlignment = 0;
  uint32_t sizeOfImage = 0;
  uint32_t sizeOfHeaders = 0;
  uint32_t resourceRva = 0;  // the resource directory, 0 when there is none
  uint32_t resourceSize = 0;
  std::vector<Section> sections;
  // File offsets of the fields the writer changes.
  size_t coffHeaderOffset = 0;
  size_t optionalHeaderOffset = 0;
  size_t sectionTableOffset = 0;

  // Where the raw data of the sections ends: a payload appended to the
  // executable starts here.
  uint64_t RawDataEnd() const;
};

// True when the bytes start like a Windows executable ("MZ").
bool LooksLikePe(std::span<const uint8_t> file);

// Reads the headers and the section table; false with `error` set when the
// file is no PE this reader accepts.
bool ReadPe(std::span<const uint8_t> file, PeFile& pe, std::string& error);

// The raw bytes of a section (its stored part only).
std::span<const uint8_t> SectionBytes(std::span<const uint8_t> file, const Section& section);

// Appends a section holding `contents` after the last one: its raw data
// right after the last section's (padded to the file alignment), its
// address after the last section's in memory. The stored and the mapped
// size are both the contents padded to the file alignment. Updates the
// section count and the image size, and sets the time stamp and the
// checksum to 0, so that the result depends on its inputs alone. Where the
// headers have no room for one more section header, every section's raw
// data moves back by whole file alignment units (the headers may grow up
// to the first section's address in memory). False with `error` set when
// the file has bytes after its last section or the headers cannot grow.
bool AppendSection(std::vector<uint8_t>& file, const std::string& name, uint32_t characteristics,
                   std::span<const uint8_t> contents, std::string& error);

}  // namespace tulora::pefile

#endif  // TULORA_TOOLS_PEFILE_PE_FILE_H
