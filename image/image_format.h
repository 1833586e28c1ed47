// The program image: the compiled application with the tables its runtime
// needs to start it.
//
// Layout (all integers 32-bit little-endian, offsets from the image's first
// byte):
//   ImageHeader (0x58 bytes of words) | DllFunctionTable columns (2 x n u32
//   const offsets at 0x58 and 0x58 + 4n) | LibraryTable text rows, ended by
//   an empty row | segment chain "const", "form", "help", "code", "var",
//   "@reloc1", each a SegmentHeader (+ CodeRelocation entries) followed
//   directly by its stored bytes.
//
// This header is hosted C++ (tools and runtime); the application never reads
// its own image.
#ifndef TULORA_IMAGE_IMAGE_FORMAT_H
#define TULORA_IMAGE_IMAGE_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tulora::image {

inline constexpr uint32_t NO_OFFSET = 0xFFFFFFFFu;
inline constexpr size_t IMAGE_HEADER_SIZE = 0x58;
inline constexpr size_t SEGMENT_HEADER_SIZE = 56;
inline constexpr size_t SEGMENT_NAME_SIZE = 20;
inline constexpr size_t FIXUP_GROUP_COUNT = 4;
inline constexpr size_t LIBRARY_GUID_DIGITS = 32;

// Upper bounds a reader enforces so that hostile counts cannot make it
// allocate or loop without end. They are far above what the build makes.
inline constexpr uint32_t MAX_DLL_FUNCTIONS = 4096;
inline constexpr uint32_t MAX_LIBRARIES = 256;
inline constexpr size_t MAX_SEGMENTS = 64;

// Segment flags as the image carries them.
enum SegmentFlags : uint32_t {
  SEGMENT_STORED = 0x1,  // const, form, help, @reloc1
  SEGMENT_CODE = 0x5,    // code
  SEGMENT_VAR = 0x13,    // var: written by the application, nothing stored
};

// Kinds of a CodeRelocation entry (bits 0-2). 0-3 are absolute fields; 4-6
// exist only in x86-64 images and mean "add (target base - code base)".
enum RelocationKind : uint32_t {
  RELOC_SERVICES = 0,
  RELOC_CONST = 1,
  RELOC_VAR = 2,
  RELOC_CODE = 3,
  RELOC_REL_SERVICES = 4,
  RELOC_REL_CONST = 5,
  RELOC_REL_VAR = 6,
};
inline constexpr uint32_t RELOCATION_KIND_COUNT = 8;  // kind 7 is invalid

struct ImageHeader {
  uint8_t reserved[36];       // 0x00, all zero
  uint32_t firstSegment;      // 0x24
  uint32_t word28;            // 0x28, 1
  uint32_t libraryCount;      // 0x2C, rows of the LibraryTable
  uint32_t word30;            // 0x30, 0
  uint32_t word34;            // 0x34
  uint32_t dllFunctionCount;  // 0x38
  uint32_t entryOffset;       // 0x3C, image offset of the entry routine
  uint32_t constHeader;       // 0x40
  uint32_t formHeader;        // 0x44
  uint32_t helpHeader;        // 0x48
  uint32_t codeHeader;        // 0x4C
  uint32_t varHeader;         // 0x50
  uint32_t word54;            // 0x54, equals constHeader
};
static_assert(sizeof(ImageHeader) == IMAGE_HEADER_SIZE);

struct SegmentHeader {
  uint32_t headerLength;  // 56 + 4 * relocationCount
  uint32_t next;          // NO_OFFSET ends the chain
  uint32_t flags;
  char name[SEGMENT_NAME_SIZE];
  uint32_t zero20;
  uint32_t memorySize;
  uint32_t storedSize;
  uint32_t storedOffset;  // NO_OFFSET when nothing is stored
  uint32_t relocationCount;
  uint32_t zero34;
};
static_assert(sizeof(SegmentHeader) == SEGMENT_HEADER_SIZE);

// One code relocation: bits 3-31 the byte offset of a 32-bit field in the
// code segment, bits 0-2 its kind.
struct CodeRelocation {
  uint32_t offset;
  RelocationKind kind;
  static CodeRelocation Decode(uint32_t word) {
    return {word >> 3, static_cast<RelocationKind>(word & 7u)};
  }
  uint32_t Encode() const { return (offset << 3) | static_cast<uint32_t>(kind); }
};

// The "@reloc1" data: four groups, each a count and that many code offsets.
enum FixupGroup : size_t {
  FIXUP_NONE = 0,          // always empty
  FIXUP_DLL_ENTRY = 1,     // field holds a DllFunctionTable entry number
  FIXUP_LIBRARY_ROW = 2,   // field holds a LibraryTable row number
  FIXUP_LIBRARY_TYPE = 3,  // field holds a library data type code
};
struct LinkFixupList {
  std::vector<uint32_t> groups[FIXUP_GROUP_COUNT];
};

struct LibraryRow {
  std::string name, guid;
  uint32_t major = 0, minor = 0;
  std::string displayName;  // GBK
};

// One DllFunctionTable entry: both names as const offsets (what the image
// stores) and as the texts found there (what a reader resolves).
struct DllFunction {
  uint32_t dllNameOffset = 0;
  uint32_t functionNameOffset = 0;
  std::string dllName;  // may be empty
  std::string functionName;
};

struct Segment {
  std::string name;
  uint32_t flags = 0;
  uint32_t memorySize = 0;
  std::vector<uint8_t> stored;              // storedSize bytes
  std::vector<CodeRelocation> relocations;  // code segment only
};

// A whole image, decoded. The segments are in chain order.
struct ProgramImage {
  ImageHeader header{};
  std::vector<LibraryRow> libraries;
  std::vector<DllFunction> dllFunctions;
  std::vector<Segment> segments;
  LinkFixupList fixups;

  const Segment* Find(const std::string& name) const;
  // Offset of the entry routine within the code segment's data (the
  // header's entryOffset counts from the image's first byte).
  uint32_t entryCodeOffset = 0;
};

// Reads an image from untrusted bytes. Every offset and size is checked; on
// failure returns false and sets `error` to a message naming the offending
// item (for example "segment 'code': relocation 12 offset 0x7b10 outside
// the segment").
//
// What a reader accepts:
// - the chain runs forward (each next header lies after the previous one's
//   stored bytes), so a hostile chain cannot loop;
// - the header's five segment offsets name chain headers of the matching
//   names, and the chain holds an "@reloc1" segment;
// - the LinkFixupList is bounded by its group counts, not by the "@reloc1"
//   segment's declared size: its last words may lie past that size as long
//   as they lie inside the image.
bool ReadImage(std::span<const uint8_t> bytes, ProgramImage& out, std::string& error);

// Lays an image out as bytes: header, DLL table columns, library rows,
// segment chain. Fills in the header's offsets (first segment, the five
// segment headers, word54, entry offset from `entryCodeOffset`) and counts
// from the layout; copies word28, word30 and word34 as given. The "@reloc1"
// segment's data is written from `fixups`, whatever its `stored` holds.
std::vector<uint8_t> WriteImage(const ProgramImage& image);

// The "@reloc1" bytes for a fix-up list.
std::vector<uint8_t> EncodeFixups(const LinkFixupList& fixups);

// One LibraryTable row as stored, without its terminating NUL.
std::string EncodeLibraryRow(const LibraryRow& row);

}  // namespace tulora::image

#endif  // TULORA_IMAGE_IMAGE_FORMAT_H
