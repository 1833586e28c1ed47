#include "tools/pefile/pe_file.h"

#include <algorithm>
#include <cstring>

namespace tulora::pefile {
namespace {

constexpr size_t kDosLfanewOffset = 0x3C;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint16_t kMaxSections = 96;
constexpr uint32_t kResourceDirectory = 2;

// Optional header offsets, the same in PE32 and PE32+ up to the data
// directories.
constexpr size_t kOptSizeOfInitializedData = 8;
constexpr size_t kOptSectionAlignment = 32;
constexpr size_t kOptFileAlignment = 36;
constexpr size_t kOptSizeOfImage = 56;
constexpr size_t kOptSizeOfHeaders = 60;
constexpr size_t kOptCheckSum = 64;
constexpr size_t kOptSubsystem = 68;
constexpr size_t kOptDirectoryCount32 = 92;
constexpr size_t kOptDirectoryCount64 = 108;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool Fits(std::span<const uint8_t> file, uint64_t offset, uint64_t size) {
  return offset <= file.size() && size <= file.size() - offset;
}

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

uint64_t AlignUp(uint64_t v, uint32_t unit) { return (v + unit - 1) / unit * unit; }

bool Fail(std::string& error, const std::string& what) {
  error = what;
  return false;
}

bool ReadOptionalHeader(std::span<const uint8_t> file, PeFile& pe, uint16_t size,
                        std::string& error) {
  const uint8_t* opt = file.data() + pe.optionalHeaderOffset;
  if (size < 2) return Fail(error, "optional header: too short");
  pe.magic = Le16(opt);
  const size_t countOffset = pe.magic == MAGIC_PE32        ? kOptDirectoryCount32
                             : pe.magic == MAGIC_PE32_PLUS ? kOptDirectoryCount64
                                                           : 0;
  if (countOffset == 0) return Fail(error, "optional header: unknown magic");
  if (size < countOffset + 4) return Fail(error, "optional header: too short");
  pe.sectionAlignment = Le32(opt + kOptSectionAlignment);
  pe.fileAlignment = Le32(opt + kOptFileAlignment);
  pe.sizeOfImage = Le32(opt + kOptSizeOfImage);
  pe.sizeOfHeaders = Le32(opt + kOptSizeOfHeaders);
  pe.subsystem = Le16(opt + kOptSubsystem);
  if (!IsPowerOfTwo(pe.fileAlignment) || !IsPowerOfTwo(pe.sectionAlignment) ||
      pe.fileAlignment > pe.sectionAlignment) {
    return Fail(error, "optional header: alignment is not a power of two within the section's");
  }
  const uint32_t directories = Le32(opt + countOffset);
  const uint64_t resourceEntry = countOffset + 4 + 8ull * kResourceDirectory;
  if (directories > kResourceDirectory && resourceEntry + 8 <= size) {
    pe.resourceRva = Le32(opt + resourceEntry);
    pe.resourceSize = Le32(opt + resourceEntry + 4);
  }
  return true;
}

bool ReadSections(std::span<const uint8_t> file, PeFile& pe, uint16_t count, std::string& error) {
  if (count > kMaxSections) return Fail(error, "COFF header: too many sections");
  if (!Fits(file, pe.sectionTableOffset, uint64_t{count} * kSectionHeaderSize)) {
    return Fail(error, "section table: beyond the end of the file");
  }
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* h = file.data() + pe.sectionTableOffset + i * kSectionHeaderSize;
    Section s;
    s.name.assign(reinterpret_cast<const char*>(h), strnlen(reinterpret_cast<const char*>(h), 8));
    s.virtualSize = Le32(h + 8);
    s.virtualAddress = Le32(h + 12);
    s.rawSize = Le32(h + 16);
    s.rawOffset = Le32(h + 20);
    s.characteristics = Le32(h + 36);
    if (s.rawSize != 0 && !Fits(file, s.rawOffset, s.rawSize)) {
      return Fail(error, "section " + std::to_string(i + 1) + ": raw data beyond the file");
    }
    pe.sections.push_back(s);
  }
  return true;
}

// Makes room for `headerEnd` bytes of headers by moving every section's raw
// data back by whole file alignment units; the sections' places in memory
// stay, so the headers may grow up to the first section's address.
bool GrowHeaders(std::vector<uint8_t>& file, PeFile& pe, uint64_t headerEnd, std::string& error) {
  uint64_t firstRaw = UINT64_MAX, firstAddress = UINT64_MAX;
  for (const Section& s : pe.sections) {
    if (s.rawSize != 0) firstRaw = std::min<uint64_t>(firstRaw, s.rawOffset);
    firstAddress = std::min<uint64_t>(firstAddress, s.virtualAddress);
  }
  if (headerEnd <= std::min<uint64_t>(firstRaw, pe.sizeOfHeaders)) return true;
  const uint64_t grown = AlignUp(headerEnd, pe.fileAlignment);
  if (firstRaw < pe.sizeOfHeaders || grown > firstAddress) {
    return Fail(error, "headers: no room for one more section header");
  }
  const uint32_t delta = static_cast<uint32_t>(grown - pe.sizeOfHeaders);
  file.insert(file.begin() + pe.sizeOfHeaders, delta, 0);
  for (size_t i = 0; i < pe.sections.size(); ++i) {
    Section& s = pe.sections[i];
    if (s.rawSize == 0) continue;
    s.rawOffset += delta;
    PutLe32(file.data() + pe.sectionTableOffset + i * kSectionHeaderSize + 20, s.rawOffset);
  }
  pe.sizeOfHeaders += delta;
  PutLe32(file.data() + pe.optionalHeaderOffset + kOptSizeOfHeaders, pe.sizeOfHeaders);
  return true;
}

}  // namespace

uint64_t PeFile::RawDataEnd() const {
  uint64_t end = sizeOfHeaders;
  for (const Section& s : sections) {
    if (s.rawSize != 0) end = std::max<uint64_t>(end, uint64_t{s.rawOffset} + s.rawSize);
  }
  return end;
}

bool LooksLikePe(std::span<const uint8_t> file) {
  return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z';
}

bool ReadPe(std::span<const uint8_t> file, PeFile& pe, std::string& error) {
  pe = PeFile();
  if (!LooksLikePe(file) || !Fits(file, kDosLfanewOffset, 4)) {
    return Fail(error, "DOS header: missing");
  }
  const uint32_t lfanew = Le32(file.data() + kDosLfanewOffset);
  if (!Fits(file, lfanew, 4 + kCoffHeaderSize) || std::memcmp(file.data() + lfanew, "PE\0\0", 4)) {
    return Fail(error, "PE signature: missing");
  }
  pe.coffHeaderOffset = lfanew + 4;
  const uint8_t* coff = file.data() + pe.coffHeaderOffset;
  pe.machine = Le16(coff);
  const uint16_t sectionCount = Le16(coff + 2);
  pe.timeStamp = Le32(coff + 4);
  const uint16_t optionalSize = Le16(coff + 16);
  pe.optionalHeaderOffset = pe.coffHeaderOffset + kCoffHeaderSize;
  if (!Fits(file, pe.optionalHeaderOffset, optionalSize)) {
    return Fail(error, "optional header: beyond the end of the file");
  }
  if (!ReadOptionalHeader(file, pe, optionalSize, error)) return false;
  pe.sectionTableOffset = pe.optionalHeaderOffset + optionalSize;
  if (pe.sizeOfHeaders < pe.sectionTableOffset + uint64_t{sectionCount} * kSectionHeaderSize) {
    return Fail(error, "optional header: headers larger than SizeOfHeaders");
  }
  return ReadSections(file, pe, sectionCount, error);
}

std::span<const uint8_t> SectionBytes(std::span<const uint8_t> file, const Section& section) {
  if (section.rawSize == 0 || !Fits(file, section.rawOffset, section.rawSize)) return {};
  return file.subspan(section.rawOffset, section.rawSize);
}

bool AppendSection(std::vector<uint8_t>& file, const std::string& name, uint32_t characteristics,
                   std::span<const uint8_t> contents, std::string& error) {
  PeFile pe;
  if (!ReadPe(file, pe, error)) return false;
  if (name.empty() || name.size() > 8) return Fail(error, "section name: not 1 to 8 bytes");
  if (pe.sections.empty()) return Fail(error, "section table: empty");
  if (pe.RawDataEnd() != file.size()) {
    return Fail(error, "file: bytes after the last section's raw data");
  }
  const uint64_t headerEnd = pe.sectionTableOffset + (pe.sections.size() + 1) * kSectionHeaderSize;
  if (!GrowHeaders(file, pe, headerEnd, error)) return false;

  const Section& last = pe.sections.back();
  const uint64_t rawOffset = AlignUp(file.size(), pe.fileAlignment);
  const uint64_t rawSize = AlignUp(contents.size(), pe.fileAlignment);
  const uint64_t lastExtent = std::max(last.virtualSize, last.rawSize);
  const uint64_t address = AlignUp(uint64_t{last.virtualAddress} + lastExtent, pe.sectionAlignment);
  const uint64_t imageSize = AlignUp(address + rawSize, pe.sectionAlignment);
  if (rawOffset + rawSize > UINT32_MAX || imageSize > UINT32_MAX) {
    return Fail(error, "section: too large");
  }

  uint8_t* h = file.data() + pe.sectionTableOffset + pe.sections.size() * kSectionHeaderSize;
  std::memset(h, 0, kSectionHeaderSize);
  std::memcpy(h, name.data(), name.size());
  PutLe32(h + 8, static_cast<uint32_t>(rawSize));
  PutLe32(h + 12, static_cast<uint32_t>(address));
  PutLe32(h + 16, static_cast<uint32_t>(rawSize));
  PutLe32(h + 20, static_cast<uint32_t>(rawOffset));
  PutLe32(h + 36, characteristics);

  uint8_t* coff = file.data() + pe.coffHeaderOffset;
  PutLe16(coff + 2, static_cast<uint16_t>(pe.sections.size() + 1));
  PutLe32(coff + 4, 0);
  uint8_t* opt = file.data() + pe.optionalHeaderOffset;
  PutLe32(opt + kOptSizeOfInitializedData,
          Le32(opt + kOptSizeOfInitializedData) + static_cast<uint32_t>(rawSize));
  PutLe32(opt + kOptSizeOfImage, static_cast<uint32_t>(imageSize));
  PutLe32(opt + kOptCheckSum, 0);

  file.resize(rawOffset, 0);
  file.insert(file.end(), contents.begin(), contents.end());
  file.resize(rawOffset + rawSize, 0);
  return true;
}

}  // namespace tulora::pefile
