#include "runtime/kernel/image_loader.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "runtime/memory/low_memory.h"

namespace tulora::rt {
namespace {

using image::CodeRelocation;
using image::ProgramImage;
using image::Segment;

constexpr char kFixupSegment[] = "@reloc1";
// Far above any image the build makes; keeps hostile sizes from asking for
// absurd amounts of low memory.
constexpr uint64_t kMaxPlacedBytes = 256ull << 20;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

uint64_t RoundToPages(uint64_t size) {
  uint64_t page = PageSize();
  return (size + page - 1) / page * page;
}

uint32_t LoadField(const uint8_t* at) {
  uint32_t v;
  std::memcpy(&v, at, 4);
  return v;
}

void StoreField(uint8_t* at, uint32_t v) { std::memcpy(at, &v, 4); }

uint32_t Low32(const void* address) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
}

// Copies the segments into one block: the service table copy first, then
// every segment but the fix-up list, each on pages of its own.
bool Layout(const ProgramImage& image, LoadedImage& out, std::string& error) {
  uint64_t total = RoundToPages(sizeof(ServiceTable));
  for (const Segment& s : image.segments) {
    if (s.name == kFixupSegment) continue;
    if (s.stored.size() > s.memorySize) {
      error = Format("segment '%s': %zu stored bytes exceed its size %" PRIu32, s.name.c_str(),
                     s.stored.size(), s.memorySize);
      return false;
    }
    total += RoundToPages(s.memorySize ? s.memorySize : 1);
    if (total > kMaxPlacedBytes) {
      error = Format("segment '%s': the segments need more than %" PRIu64 " bytes", s.name.c_str(),
                     kMaxPlacedBytes);
      return false;
    }
  }
  out.blockSize = static_cast<size_t>(total);
  out.block = ReserveLowMemory(out.blockSize);
  if (out.block == nullptr) {
    error = Format("no memory below 2 GiB for %zu bytes of segments", out.blockSize);
    return false;
  }
  uint8_t* at = static_cast<uint8_t*>(out.block);
  out.services = reinterpret_cast<ServiceTable*>(at);
  at += RoundToPages(sizeof(ServiceTable));
  for (const Segment& s : image.segments) {
    if (s.name == kFixupSegment) continue;
    if (!s.stored.empty()) std::memcpy(at, s.stored.data(), s.stored.size());
    out.segments.push_back({s.name, at, s.memorySize});
    at += RoundToPages(s.memorySize ? s.memorySize : 1);
  }
  return true;
}

bool FindBases(LoadedImage& out, std::string& error) {
  const PlacedSegment* code = FindPlaced(out, "code");
  const PlacedSegment* cnst = FindPlaced(out, "const");
  const PlacedSegment* var = FindPlaced(out, "var");
  if (code == nullptr || cnst == nullptr || var == nullptr) {
    error = Format("the image lacks its '%s' segment", code == nullptr   ? "code"
                                                       : cnst == nullptr ? "const"
                                                                         : "var");
    return false;
  }
  out.codeBase = code->address;
  out.codeSize = code->size;
  out.constBase = cnst->address;
  out.varBase = var->address;
  return true;
}

// The value a relocation of `kind` adds to its field.
bool RelocationAddend(const LoadedImage& out, uint32_t kind, uint32_t* addend) {
  uint32_t code = Low32(out.codeBase);
  switch (kind) {
    case image::RELOC_SERVICES: *addend = Low32(out.services); return true;
    case image::RELOC_CONST: *addend = Low32(out.constBase); return true;
    case image::RELOC_VAR: *addend = Low32(out.varBase); return true;
    case image::RELOC_CODE: *addend = code; return true;
    case image::RELOC_REL_SERVICES: *addend = Low32(out.services) - code; return true;
    case image::RELOC_REL_CONST: *addend = Low32(out.constBase) - code; return true;
    case image::RELOC_REL_VAR: *addend = Low32(out.varBase) - code; return true;
    default: return false;
  }
}

bool FieldInCode(const LoadedImage& out, uint32_t offset) {
  return offset <= out.codeSize && out.codeSize - offset >= 4;
}

bool ApplyRelocations(const Segment& code, LoadedImage& out, std::string& error) {
  for (size_t i = 0; i < code.relocations.size(); ++i) {
    const CodeRelocation& r = code.relocations[i];
    uint32_t addend;
    if (!RelocationAddend(out, r.kind, &addend)) {
      error = Format("segment 'code': relocation %zu has the unknown kind %u", i,
                     static_cast<unsigned>(r.kind));
      return false;
    }
    if (!FieldInCode(out, r.offset)) {
      error = Format("segment 'code': relocation %zu offset 0x%" PRIx32 " outside the segment", i,
                     r.offset);
      return false;
    }
    uint8_t* field = out.codeBase + r.offset;
    StoreField(field, LoadField(field) + addend);
  }
  return true;
}

// Checks a fix-up field's image value and returns its runtime form.
bool RewriteFixup(const ProgramImage& image, size_t group, uint32_t value, uint32_t* form) {
  switch (group) {
    case image::FIXUP_DLL_ENTRY:
      *form = DLL_SELECTOR_TAG | value;
      return value < image.dllFunctions.size() && value <= SELECTOR_INDEX_MASK;
    case image::FIXUP_LIBRARY_ROW:
      *form = LIBRARY_SELECTOR_TAG | value;
      return value < image.libraries.size() && value <= SELECTOR_INDEX_MASK;
    case image::FIXUP_LIBRARY_TYPE: {
      uint32_t library = (value & ~static_cast<uint32_t>(TYPE_BYREF)) >> 16;
      *form = value;
      return library >= 1 && library <= image.libraries.size();
    }
    default: return false;
  }
}

bool ApplyFixups(const ProgramImage& image, LoadedImage& out, std::string& error) {
  if (!image.fixups.groups[image::FIXUP_NONE].empty()) {
    error = "link fix-up group 0 is not empty";
    return false;
  }
  for (size_t group = 1; group < image::FIXUP_GROUP_COUNT; ++group) {
    const std::vector<uint32_t>& offsets = image.fixups.groups[group];
    for (size_t i = 0; i < offsets.size(); ++i) {
      if (!FieldInCode(out, offsets[i])) {
        error =
            Format("link fix-up group %zu entry %zu offset 0x%" PRIx32 " outside the code segment",
                   group, i, offsets[i]);
        return false;
      }
      uint8_t* field = out.codeBase + offsets[i];
      uint32_t form;
      if (!RewriteFixup(image, group, LoadField(field), &form)) {
        error = Format("link fix-up group %zu entry %zu (code offset 0x%" PRIx32
                       ") holds 0x%" PRIx32 ", which the image's tables do not have",
                       group, i, offsets[i], LoadField(field));
        return false;
      }
      StoreField(field, form);
    }
  }
  return true;
}

Protection ProtectionOf(const PlacedSegment& s) {
  if (s.name == "code") return Protection::kReadExecute;
  if (s.name == "var") return Protection::kReadWrite;
  return Protection::kReadOnly;
}

bool Protect(LoadedImage& out, std::string& error) {
  for (const PlacedSegment& s : out.segments) {
    size_t size = static_cast<size_t>(RoundToPages(s.size ? s.size : 1));
    if (!ProtectMemory(s.address, size, ProtectionOf(s))) {
      error = Format("segment '%s' cannot be protected", s.name.c_str());
      return false;
    }
  }
  FlushInstructionCache(out.codeBase, out.codeSize);
  if (!ProtectMemory(out.services, RoundToPages(sizeof(ServiceTable)), Protection::kReadOnly)) {
    error = "the service table cannot be protected";
    return false;
  }
  return true;
}

bool Place(const ProgramImage& image, const ServiceTable& services, LoadedImage& out,
           std::string& error) {
  if (!Layout(image, out, error) || !FindBases(out, error)) return false;
  *out.services = services;
  const Segment* code = image.Find("code");
  if (!ApplyRelocations(*code, out, error) || !ApplyFixups(image, out, error)) return false;
  if (image.entryCodeOffset >= out.codeSize) {
    error = Format("the entry routine's code offset 0x%" PRIx32 " lies outside the code segment",
                   image.entryCodeOffset);
    return false;
  }
  out.entry = out.codeBase + image.entryCodeOffset;
  return Protect(out, error);
}

}  // namespace

const PlacedSegment* FindPlaced(const LoadedImage& loaded, const std::string& name) {
  for (const PlacedSegment& s : loaded.segments) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

bool PlaceImage(const ProgramImage& image, const ServiceTable& services, LoadedImage& out,
                std::string& error) {
  out = LoadedImage{};
  if (Place(image, services, out, error)) return true;
  UnloadImage(out);
  return false;
}

void UnloadImage(LoadedImage& loaded) {
  FreeLowMemory(loaded.block, loaded.blockSize);
  loaded = LoadedImage{};
}

}  // namespace tulora::rt
