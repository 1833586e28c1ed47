#include "tools/imageinspect/image_report.h"

#include <cstdio>

#include "image/executable_layout.h"
#include "tools/pefile/pe_file.h"

namespace tulora::imageinspect {
namespace {

std::string Format(const char* format, auto... values) {
  char line[512];
  std::snprintf(line, sizeof line, format, values...);
  return line;
}

const char* KindName(uint32_t kind) {
  switch (kind) {
    case image::RELOC_SERVICES: return "services";
    case image::RELOC_CONST: return "const";
    case image::RELOC_VAR: return "var";
    case image::RELOC_CODE: return "code";
    case image::RELOC_REL_SERVICES: return "services - code";
    case image::RELOC_REL_CONST: return "const - code";
    case image::RELOC_REL_VAR: return "var - code";
    default: return "invalid";
  }
}

const char* GroupName(size_t group) {
  switch (group) {
    case image::FIXUP_NONE: return "(unused)";
    case image::FIXUP_DLL_ENTRY: return "DLL function entries";
    case image::FIXUP_LIBRARY_ROW: return "library rows";
    default: return "library data types";
  }
}

uint32_t CodeField(const image::Segment* code, uint32_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(code->stored[at + i]) << (8 * i);
  return v;
}

std::string Header(const image::ProgramImage& image) {
  const image::ImageHeader& h = image.header;
  std::string out = "header\n";
  out += Format("  first segment   0x%x\n", h.firstSegment);
  out += Format("  word 0x28       0x%x\n", h.word28);
  out += Format("  libraries       %u\n", h.libraryCount);
  out += Format("  word 0x30       0x%x\n", h.word30);
  out += Format("  word 0x34       0x%x\n", h.word34);
  out += Format("  DLL functions   %u\n", h.dllFunctionCount);
  out +=
      Format("  entry           0x%x (code offset 0x%x)\n", h.entryOffset, image.entryCodeOffset);
  out += Format("  segment headers const 0x%x, form 0x%x, help 0x%x, code 0x%x, var 0x%x\n",
                h.constHeader, h.formHeader, h.helpHeader, h.codeHeader, h.varHeader);
  out += Format("  word 0x54       0x%x\n", h.word54);
  return out;
}

std::string Libraries(const image::ProgramImage& image) {
  std::string out = Format("LibraryTable (%zu rows)\n", image.libraries.size());
  for (size_t i = 0; i < image.libraries.size(); ++i) {
    const image::LibraryRow& row = image.libraries[i];
    out += Format("  %2zu %-10s %s %u.%u ", i, row.name.c_str(), row.guid.c_str(), row.major,
                  row.minor);
    out += QuoteText(row.displayName) + "\n";
  }
  return out;
}

std::string DllTable(const image::ProgramImage& image) {
  std::string out = Format("DllFunctionTable (%zu entries)\n", image.dllFunctions.size());
  for (size_t i = 0; i < image.dllFunctions.size(); ++i) {
    const image::DllFunction& f = image.dllFunctions[i];
    out += Format("  %2zu %-16s @0x%-5x %-24s @0x%x\n", i, QuoteText(f.dllName).c_str(),
                  f.dllNameOffset, QuoteText(f.functionName).c_str(), f.functionNameOffset);
  }
  return out;
}

std::string Segments(const image::ProgramImage& image) {
  std::string out = "segments\n";
  for (const image::Segment& s : image.segments)
    out += Format("  %-8s flags 0x%-3x size %-6u stored %-6zu relocations %zu\n", s.name.c_str(),
                  s.flags, s.memorySize, s.stored.size(), s.relocations.size());
  const image::Segment* code = image.Find("code");
  size_t counts[image::RELOCATION_KIND_COUNT] = {};
  for (const image::CodeRelocation& r : code->relocations) ++counts[r.kind & 7];
  out += "code relocations by kind\n";
  for (uint32_t kind = 0; kind + 1 < image::RELOCATION_KIND_COUNT; ++kind)
    out += Format("  kind %u %-16s %zu\n", kind, KindName(kind), counts[kind]);
  return out;
}

std::string Fixups(const image::ProgramImage& image) {
  const image::Segment* code = image.Find("code");
  std::string out = "LinkFixupList\n";
  for (size_t g = 0; g < image::FIXUP_GROUP_COUNT; ++g) {
    const std::vector<uint32_t>& group = image.fixups.groups[g];
    out += Format("  group %zu %-20s %zu\n", g, GroupName(g), group.size());
    for (uint32_t at : group)
      out += Format("    code 0x%-6x holds 0x%x\n", at, CodeField(code, at));
  }
  return out;
}

}  // namespace

std::string QuoteText(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\')
      out += std::string("\\") + static_cast<char>(c);
    else if (c >= 0x20 && c < 0x7F)
      out += static_cast<char>(c);
    else
      out += Format("\\x%02x", c);
  }
  return out + "\"";
}

// The reader guarantees a "code" segment and fix-up offsets inside it.
std::string DescribeImage(const image::ProgramImage& image) {
  return Header(image) + Libraries(image) + DllTable(image) + Segments(image) + Fixups(image);
}

bool ImageBytesOfFile(std::span<const uint8_t> file, std::span<const uint8_t>& image,
                      std::string& where, std::string& error) {
  if (!pefile::LooksLikePe(file)) {
    image = file;
    where = "the whole file";
    return true;
  }
  pefile::PeFile pe;
  if (!pefile::ReadPe(file, pe, error)) return false;
  if (pe.sections.empty() || pe.sections.back().name != IMAGE_SECTION_NAME) {
    error = "the last section is not named .data: no program image";
    return false;
  }
  const pefile::Section& section = pe.sections.back();
  image = pefile::SectionBytes(file, section);
  char line[160];
  std::snprintf(line, sizeof line,
                "section %zu of the executable (%s, characteristics 0x%08X, %u bytes at file "
                "offset %u)",
                pe.sections.size(), section.name.c_str(), section.characteristics, section.rawSize,
                section.rawOffset);
  where = line;
  return true;
}

}  // namespace tulora::imageinspect
