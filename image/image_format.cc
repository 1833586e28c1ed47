#include "image/image_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tulora::image {
namespace {

// Name of each header field that holds a segment header's offset, with the
// segment it must name.
struct NamedHeaderOffset {
  const char* field;
  const char* segment;
  uint32_t ImageHeader::*member;
};
constexpr NamedHeaderOffset kHeaderSegments[] = {
    {"constHeader", "const", &ImageHeader::constHeader},
    {"formHeader", "form", &ImageHeader::formHeader},
    {"helpHeader", "help", &ImageHeader::helpHeader},
    {"codeHeader", "code", &ImageHeader::codeHeader},
    {"varHeader", "var", &ImageHeader::varHeader},
};

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

uint32_t LoadU32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void StoreU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void AppendU32(std::vector<uint8_t>& bytes, uint32_t value) {
  bytes.resize(bytes.size() + 4);
  StoreU32(bytes, bytes.size() - 4, value);
}

// True when [at, at + length) lies inside `size` bytes, without overflow.
bool Inside(uint64_t at, uint64_t length, uint64_t size) {
  return at <= size && length <= size - at;
}

// A reader that records the first failure as "item: problem".
class Reader {
 public:
  Reader(std::span<const uint8_t> bytes, std::string& error) : bytes_(bytes), error_(error) {}

  bool Fail(const std::string& item, const std::string& problem) {
    error_ = item + ": " + problem;
    return false;
  }
  size_t size() const { return bytes_.size(); }
  std::span<const uint8_t> bytes() const { return bytes_; }
  uint32_t U32(size_t at) const { return LoadU32(bytes_, at); }

  bool ReadHeader(ProgramImage& out);
  bool ReadChain(ProgramImage& out, std::vector<uint32_t>& headerOffsets,
                 std::vector<uint32_t>& storedOffsets);
  bool ReadSegment(uint32_t at, Segment& segment, uint32_t& storedOffset, uint64_t& end);
  bool ReadRelocations(uint32_t at, const std::string& item, Segment& segment);
  bool ReadLibraries(ProgramImage& out);
  bool ParseLibraryRow(size_t row, const std::string& text, LibraryRow& out);
  bool CheckHeaderSegments(const ProgramImage& out, const std::vector<uint32_t>& headerOffsets);
  bool ReadDllNames(ProgramImage& out);
  bool ReadEntry(ProgramImage& out, const std::vector<uint32_t>& storedOffsets);
  bool ReadFixups(ProgramImage& out, const std::vector<uint32_t>& storedOffsets);

 private:
  std::span<const uint8_t> bytes_;
  std::string& error_;
};

bool Reader::ReadHeader(ProgramImage& out) {
  if (size() < IMAGE_HEADER_SIZE)
    return Fail("image header",
                std::to_string(size()) + " bytes, need " + std::to_string(IMAGE_HEADER_SIZE));
  ImageHeader& h = out.header;
  std::memcpy(h.reserved, bytes_.data(), sizeof h.reserved);
  uint32_t* words[] = {&h.firstSegment, &h.word28,           &h.libraryCount, &h.word30,
                       &h.word34,       &h.dllFunctionCount, &h.entryOffset,  &h.constHeader,
                       &h.formHeader,   &h.helpHeader,       &h.codeHeader,   &h.varHeader,
                       &h.word54};
  for (size_t i = 0; i < std::size(words); ++i) *words[i] = U32(0x24 + 4 * i);
  if (h.dllFunctionCount > MAX_DLL_FUNCTIONS)
    return Fail("DllFunctionTable", "entry count " + std::to_string(h.dllFunctionCount) +
                                        " above " + std::to_string(MAX_DLL_FUNCTIONS));
  if (!Inside(IMAGE_HEADER_SIZE, 8ull * h.dllFunctionCount, size()))
    return Fail("DllFunctionTable",
                std::to_string(h.dllFunctionCount) + " entries run past the image end");
  out.dllFunctions.resize(h.dllFunctionCount);
  for (uint32_t i = 0; i < h.dllFunctionCount; ++i) {
    out.dllFunctions[i].dllNameOffset = U32(IMAGE_HEADER_SIZE + 4 * i);
    out.dllFunctions[i].functionNameOffset = U32(IMAGE_HEADER_SIZE + 4 * (h.dllFunctionCount + i));
  }
  return true;
}

bool Reader::ReadRelocations(uint32_t at, const std::string& item, Segment& segment) {
  for (size_t i = 0; i < segment.relocations.size(); ++i) {
    CodeRelocation r = CodeRelocation::Decode(U32(at + SEGMENT_HEADER_SIZE + 4 * i));
    std::string what = item + ": relocation " + std::to_string(i);
    if (r.kind >= RELOCATION_KIND_COUNT - 1)
      return Fail(what, "kind " + std::to_string(r.kind) + " is not a relocation kind");
    if (!Inside(r.offset, 4, segment.stored.size()))
      return Fail(what, "offset " + Hex(r.offset) + " outside the segment");
    segment.relocations[i] = r;
  }
  return true;
}

// Reads the SegmentHeader at `at`; `end` receives the first byte after its
// header and stored bytes, where the next header may begin.
bool Reader::ReadSegment(uint32_t at, Segment& segment, uint32_t& storedOffset, uint64_t& end) {
  std::string item = "segment header at " + Hex(at);
  if (!Inside(at, SEGMENT_HEADER_SIZE, size())) return Fail(item, "runs past the image end");
  const uint8_t* name = bytes_.data() + at + 12;
  segment.name.assign(reinterpret_cast<const char*>(name),
                      strnlen(reinterpret_cast<const char*>(name), SEGMENT_NAME_SIZE));
  item = "segment '" + segment.name + "'";
  uint32_t headerLength = U32(at), relocationCount = U32(at + 48);
  segment.flags = U32(at + 8);
  segment.memorySize = U32(at + 36);
  uint32_t storedSize = U32(at + 40);
  storedOffset = U32(at + 44);
  if (headerLength != SEGMENT_HEADER_SIZE + 4ull * relocationCount)
    return Fail(item, "header length " + std::to_string(headerLength) + " does not match " +
                          std::to_string(relocationCount) + " relocation entries");
  if (!Inside(at, headerLength, size()))
    return Fail(item, "relocation entries run past the image end");
  if (storedSize > segment.memorySize)
    return Fail(item, "stored size " + std::to_string(storedSize) + " above size in memory " +
                          std::to_string(segment.memorySize));
  end = uint64_t{at} + headerLength;
  if (storedOffset == NO_OFFSET) {
    if (storedSize != 0) return Fail(item, "stored bytes without an offset");
  } else {
    if (!Inside(storedOffset, storedSize, size()))
      return Fail(item, "stored bytes at " + Hex(storedOffset) + " run past the image end");
    if (storedOffset < end) return Fail(item, "stored bytes overlap the segment header");
    end = uint64_t{storedOffset} + storedSize;
    segment.stored.assign(bytes_.begin() + storedOffset,
                          bytes_.begin() + storedOffset + storedSize);
  }
  segment.relocations.resize(relocationCount);
  return ReadRelocations(at, item, segment);
}

bool Reader::ReadChain(ProgramImage& out, std::vector<uint32_t>& headerOffsets,
                       std::vector<uint32_t>& storedOffsets) {
  uint64_t tablesEnd = IMAGE_HEADER_SIZE + 8ull * out.header.dllFunctionCount;
  if (out.header.firstSegment == NO_OFFSET) return Fail("image header", "no first segment");
  if (out.header.firstSegment < tablesEnd)
    return Fail("image header",
                "first segment " + Hex(out.header.firstSegment) + " lies inside the DLL table");
  uint64_t earliest = tablesEnd;
  for (uint32_t at = out.header.firstSegment; at != NO_OFFSET;) {
    if (out.segments.size() == MAX_SEGMENTS)
      return Fail("segment chain", "more than " + std::to_string(MAX_SEGMENTS) + " segments");
    if (at < earliest)
      return Fail("segment chain",
                  "header at " + Hex(at) + " does not follow the previous segment");
    Segment segment;
    uint32_t storedOffset = NO_OFFSET;
    uint64_t end = 0;
    if (!ReadSegment(at, segment, storedOffset, end)) return false;
    if (out.Find(segment.name))
      return Fail("segment chain", "two segments named '" + segment.name + "'");
    headerOffsets.push_back(at);
    storedOffsets.push_back(storedOffset);
    out.segments.push_back(std::move(segment));
    earliest = end;
    at = U32(at + 4);
  }
  return true;
}

bool Reader::ParseLibraryRow(size_t row, const std::string& text, LibraryRow& out) {
  std::string item = "library row " + std::to_string(row);
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == '\r')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  if (fields.size() != 5) return Fail(item, std::to_string(fields.size()) + " fields, need 5");
  out.name = fields[0];
  out.guid = fields[1];
  out.displayName = fields[4];
  if (out.name.empty()) return Fail(item, "empty library name");
  bool hex = out.guid.size() == LIBRARY_GUID_DIGITS;
  for (char c : out.guid) hex = hex && std::strchr("0123456789abcdefABCDEF", c) && c != 0;
  if (!hex) return Fail(item, "GUID '" + out.guid + "' is not 32 hexadecimal digits");
  uint32_t* versions[] = {&out.major, &out.minor};
  for (int i = 0; i < 2; ++i) {
    const std::string& v = fields[2 + i];
    uint64_t value = 0;
    bool number = !v.empty() && v.size() <= 10;
    for (char c : v) {
      number = number && c >= '0' && c <= '9';
      value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (!number || value > UINT32_MAX)
      return Fail(item, std::string(i == 0 ? "major" : "minor") + " version '" + v +
                            "' is not a 32-bit decimal number");
    *versions[i] = static_cast<uint32_t>(value);
  }
  return true;
}

// The rows run from the end of the DLL table up to the first segment header.
bool Reader::ReadLibraries(ProgramImage& out) {
  size_t at = IMAGE_HEADER_SIZE + 8ull * out.header.dllFunctionCount;
  size_t end = std::min<size_t>(out.header.firstSegment, size());
  for (size_t row = 0;; ++row) {
    const uint8_t* start = bytes_.data() + at;
    const void* nul = at < end ? std::memchr(start, 0, end - at) : nullptr;
    if (!nul)
      return Fail("LibraryTable",
                  "row " + std::to_string(row) + " is not ended before the first segment");
    std::string text(reinterpret_cast<const char*>(start),
                     static_cast<const uint8_t*>(nul) - start);
    at += text.size() + 1;
    if (text.empty()) break;
    if (row == MAX_LIBRARIES)
      return Fail("LibraryTable", "more than " + std::to_string(MAX_LIBRARIES) + " rows");
    out.libraries.emplace_back();
    if (!ParseLibraryRow(row, text, out.libraries.back())) return false;
  }
  if (out.header.libraryCount != out.libraries.size())
    return Fail("image header", "library count " + std::to_string(out.header.libraryCount) +
                                    " differs from the " + std::to_string(out.libraries.size()) +
                                    " rows of the LibraryTable");
  return true;
}

bool Reader::CheckHeaderSegments(const ProgramImage& out,
                                 const std::vector<uint32_t>& headerOffsets) {
  for (const NamedHeaderOffset& named : kHeaderSegments) {
    uint32_t at = out.header.*named.member;
    size_t i = 0;
    while (i < headerOffsets.size() && headerOffsets[i] != at) ++i;
    if (i == headerOffsets.size())
      return Fail(std::string("image header ") + named.field,
                  Hex(at) + " is not a segment header of the chain");
    if (out.segments[i].name != named.segment)
      return Fail(std::string("image header ") + named.field,
                  "names segment '" + out.segments[i].name + "', not '" + named.segment + "'");
  }
  if (!out.Find("@reloc1")) return Fail("segment chain", "no '@reloc1' segment");
  return true;
}

bool Reader::ReadDllNames(ProgramImage& out) {
  const std::vector<uint8_t>& data = out.Find("const")->stored;
  for (size_t i = 0; i < out.dllFunctions.size(); ++i) {
    DllFunction& f = out.dllFunctions[i];
    struct {
      uint32_t offset;
      std::string* text;
      const char* column;
    } names[] = {{f.dllNameOffset, &f.dllName, "DLL name"},
                 {f.functionNameOffset, &f.functionName, "function name"}};
    for (auto& n : names) {
      const void* nul = n.offset < data.size()
                            ? std::memchr(data.data() + n.offset, 0, data.size() - n.offset)
                            : nullptr;
      if (!nul)
        return Fail("DllFunctionTable entry " + std::to_string(i),
                    std::string(n.column) + " at const offset " + Hex(n.offset) +
                        " is not a text inside the const segment");
      n.text->assign(reinterpret_cast<const char*>(data.data() + n.offset),
                     static_cast<const uint8_t*>(nul) - (data.data() + n.offset));
    }
  }
  return true;
}

size_t IndexOf(const ProgramImage& image, const char* name) {
  size_t i = 0;
  while (image.segments[i].name != name) ++i;
  return i;
}

bool Reader::ReadEntry(ProgramImage& out, const std::vector<uint32_t>& storedOffsets) {
  size_t code = IndexOf(out, "code");
  uint32_t base = storedOffsets[code];
  uint32_t entry = out.header.entryOffset;
  if (base == NO_OFFSET || entry < base || entry - base >= out.segments[code].stored.size())
    return Fail("image header", "entry offset " + Hex(entry) + " outside the code segment");
  out.entryCodeOffset = entry - base;
  return true;
}

bool Reader::ReadFixups(ProgramImage& out, const std::vector<uint32_t>& storedOffsets) {
  uint32_t at = storedOffsets[IndexOf(out, "@reloc1")];
  size_t codeSize = out.Find("code")->stored.size();
  if (at == NO_OFFSET) return Fail("LinkFixupList", "the '@reloc1' segment stores no bytes");
  uint64_t cursor = at;
  for (size_t g = 0; g < FIXUP_GROUP_COUNT; ++g) {
    std::string item = "LinkFixupList group " + std::to_string(g);
    if (!Inside(cursor, 4, size())) return Fail(item, "count runs past the image end");
    uint32_t count = U32(cursor);
    cursor += 4;
    if (!Inside(cursor, 4ull * count, size()))
      return Fail(item, std::to_string(count) + " offsets run past the image end");
    std::vector<uint32_t>& group = out.fixups.groups[g];
    group.resize(count);
    for (uint32_t i = 0; i < count; ++i, cursor += 4) {
      group[i] = U32(cursor);
      if (!Inside(group[i], 4, codeSize))
        return Fail(item, "offset " + std::to_string(i) + " (" + Hex(group[i]) +
                              ") outside the code segment");
    }
  }
  return true;
}

}  // namespace

const Segment* ProgramImage::Find(const std::string& name) const {
  for (const Segment& s : segments)
    if (s.name == name) return &s;
  return nullptr;
}

bool ReadImage(std::span<const uint8_t> bytes, ProgramImage& out, std::string& error) {
  out = ProgramImage{};
  Reader reader(bytes, error);
  std::vector<uint32_t> headerOffsets, storedOffsets;
  return reader.ReadHeader(out) && reader.ReadChain(out, headerOffsets, storedOffsets) &&
         reader.ReadLibraries(out) && reader.CheckHeaderSegments(out, headerOffsets) &&
         reader.ReadDllNames(out) && reader.ReadEntry(out, storedOffsets) &&
         reader.ReadFixups(out, storedOffsets);
}

std::string EncodeLibraryRow(const LibraryRow& row) {
  return row.name + '\r' + row.guid + '\r' + std::to_string(row.major) + '\r' +
         std::to_string(row.minor) + '\r' + row.displayName;
}

std::vector<uint8_t> EncodeFixups(const LinkFixupList& fixups) {
  std::vector<uint8_t> bytes;
  for (const std::vector<uint32_t>& group : fixups.groups) {
    AppendU32(bytes, static_cast<uint32_t>(group.size()));
    for (uint32_t offset : group) AppendU32(bytes, offset);
  }
  return bytes;
}

namespace {

void WriteSegment(std::vector<uint8_t>& out, const Segment& segment,
                  const std::vector<uint8_t>& stored, bool last) {
  size_t at = out.size();
  uint32_t headerLength =
      static_cast<uint32_t>(SEGMENT_HEADER_SIZE + 4 * segment.relocations.size());
  out.resize(at + headerLength);
  uint32_t storedOffset = stored.empty() ? NO_OFFSET : static_cast<uint32_t>(at + headerLength);
  uint32_t next = last ? NO_OFFSET : static_cast<uint32_t>(at + headerLength + stored.size());
  StoreU32(out, at, headerLength);
  StoreU32(out, at + 4, next);
  StoreU32(out, at + 8, segment.flags);
  std::memcpy(out.data() + at + 12, segment.name.data(),
              std::min(segment.name.size(), SEGMENT_NAME_SIZE));
  StoreU32(out, at + 36,
           std::max<uint32_t>(segment.memorySize, static_cast<uint32_t>(stored.size())));
  StoreU32(out, at + 40, static_cast<uint32_t>(stored.size()));
  StoreU32(out, at + 44, storedOffset);
  StoreU32(out, at + 48, static_cast<uint32_t>(segment.relocations.size()));
  for (size_t i = 0; i < segment.relocations.size(); ++i)
    StoreU32(out, at + SEGMENT_HEADER_SIZE + 4 * i, segment.relocations[i].Encode());
  out.insert(out.end(), stored.begin(), stored.end());
}

}  // namespace

std::vector<uint8_t> WriteImage(const ProgramImage& image) {
  uint32_t n = static_cast<uint32_t>(image.dllFunctions.size());
  std::vector<uint8_t> out(IMAGE_HEADER_SIZE + 8ull * n);
  for (uint32_t i = 0; i < n; ++i) {
    StoreU32(out, IMAGE_HEADER_SIZE + 4 * i, image.dllFunctions[i].dllNameOffset);
    StoreU32(out, IMAGE_HEADER_SIZE + 4 * (n + i), image.dllFunctions[i].functionNameOffset);
  }
  for (const LibraryRow& row : image.libraries) {
    std::string text = EncodeLibraryRow(row);
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
  }
  out.push_back(0);  // the empty row that ends the table

  ImageHeader h = image.header;
  h.firstSegment = static_cast<uint32_t>(out.size());
  h.libraryCount = static_cast<uint32_t>(image.libraries.size());
  h.dllFunctionCount = n;
  h.entryOffset = NO_OFFSET;
  for (size_t i = 0; i < image.segments.size(); ++i) {
    const Segment& s = image.segments[i];
    uint32_t at = static_cast<uint32_t>(out.size());
    for (const NamedHeaderOffset& named : kHeaderSegments)
      if (s.name == named.segment) h.*named.member = at;
    std::vector<uint8_t> stored = s.name == "@reloc1" ? EncodeFixups(image.fixups) : s.stored;
    if (s.name == "code")
      h.entryOffset = at + static_cast<uint32_t>(SEGMENT_HEADER_SIZE + 4 * s.relocations.size()) +
                      image.entryCodeOffset;
    WriteSegment(out, s, stored, i + 1 == image.segments.size());
  }
  h.word54 = h.constHeader;

  std::memcpy(out.data(), h.reserved, sizeof h.reserved);
  const uint32_t words[] = {h.firstSegment, h.word28,           h.libraryCount, h.word30,
                            h.word34,       h.dllFunctionCount, h.entryOffset,  h.constHeader,
                            h.formHeader,   h.helpHeader,       h.codeHeader,   h.varHeader,
                            h.word54};
  for (size_t i = 0; i < std::size(words); ++i) StoreU32(out, 0x24 + 4 * i, words[i]);
  return out;
}

}  // namespace tulora::image
