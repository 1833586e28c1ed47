#include "image/image_sample.h"

#include <cstring>

namespace tulora::image {
namespace {

// Appends `text` with its NUL to `data` and returns its offset.
uint32_t AddText(std::vector<uint8_t>& data, const char* text) {
  uint32_t at = static_cast<uint32_t>(data.size());
  data.insert(data.end(), text, text + std::strlen(text) + 1);
  return at;
}

Segment MakeSegment(const char* name, uint32_t flags, uint32_t memorySize,
                    std::vector<uint8_t> stored) {
  Segment s;
  s.name = name;
  s.flags = flags;
  s.memorySize = memorySize;
  s.stored = std::move(stored);
  return s;
}

}  // namespace

ProgramImage MakeSampleImage() {
  ProgramImage image;
  image.header.word28 = 1;
  image.header.word34 = 0x12B60;
  image.libraries = {
      {"ostra", "0123456789ABCDEF0123456789ABCDEF", 5, 7, "\xcf\xb5\xcd\xb3"},
      {"VThread", "00112233445566778899aabbccddeeff", 2, 0, "\xb6\xe0\xcf\xdf\xb3\xcc"},
      {"xtra", "FEDCBA9876543210FEDCBA9876543210", 3, 1, "\xd4\xd3\xcf\xee"},
  };
  std::vector<uint8_t> constData = {'h', 'i', 0, 0, 0, 0, 0, 0, 0};  // empty text at 8
  // The program's declared DLL functions, as the image build stores them.
  const char* rows[][2] = {
#define TULORA_DLL_ROW(id, entry, dll, function) {dll, function},
#include "image/dll_table.def"
  };
  uint32_t wininet = 0, send = 0;
  for (const auto& row : rows) {
    DllFunction f;
    f.dllName = row[0];
    f.functionName = row[1];
    bool shared = f.dllName == "wininet.dll" && wininet;
    f.dllNameOffset = f.dllName.empty() ? 8 : shared ? wininet : AddText(constData, row[0]);
    if (f.dllName == "wininet.dll") wininet = f.dllNameOffset;
    bool again = f.functionName == "HttpSendRequestA" && send;
    f.functionNameOffset = again ? send : AddText(constData, row[1]);
    if (f.functionName == "HttpSendRequestA") send = f.functionNameOffset;
    image.dllFunctions.push_back(f);
  }

  std::vector<uint8_t> code(64, 0x90);
  code[63] = 0xC3;
  Segment codeSegment = MakeSegment("code", SEGMENT_CODE, 64, code);
  for (uint32_t kind = 0; kind < 7; ++kind)
    codeSegment.relocations.push_back({4 + 4 * kind, static_cast<RelocationKind>(kind)});
  image.segments = {
      MakeSegment("const", SEGMENT_STORED, static_cast<uint32_t>(constData.size()), constData),
      MakeSegment("form", SEGMENT_STORED, 4, std::vector<uint8_t>(4)),
      MakeSegment("help", SEGMENT_STORED, 56, std::vector<uint8_t>(56)),
      codeSegment,
      MakeSegment("var", SEGMENT_VAR, 12, {}),
      MakeSegment("@reloc1", SEGMENT_STORED, 0, {}),
  };
  image.fixups.groups[FIXUP_DLL_ENTRY] = {32, 40};
  image.fixups.groups[FIXUP_LIBRARY_ROW] = {44};
  image.fixups.groups[FIXUP_LIBRARY_TYPE] = {48, 52, 56};
  image.segments.back().stored = EncodeFixups(image.fixups);
  image.segments.back().memorySize = static_cast<uint32_t>(image.segments.back().stored.size());
  image.entryCodeOffset = 60;
  return image;
}

}  // namespace tulora::image
