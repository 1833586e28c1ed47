#include "crawler/folder_name.h"

#include "image/values.h"

namespace tulora {
namespace {

bool IsLeadByte(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrailByte(uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

bool IsForbidden(uint8_t b) {
  if (b < 0x20 || b == 0x7F) return true;
  switch (b) {
    case '<':
    case '>':
    case ':':
    case '"':
    case '/':
    case '\\':
    case '|':
    case '?':
    case '*': return true;
    default: return false;
  }
}

uint8_t Upper(uint8_t b) { return (b >= 'a' && b <= 'z') ? static_cast<uint8_t>(b - 32) : b; }

// True when name[0..length) before its first dot is a reserved device name.
bool IsDeviceName(const char* name, uint32_t length) {
  uint32_t base = 0;
  while (base < length && name[base] != '.') ++base;
  char u[5] = {0, 0, 0, 0, 0};
  if (base != 3 && base != 4) return false;
  for (uint32_t i = 0; i < base; ++i)
    u[i] = static_cast<char>(Upper(static_cast<uint8_t>(name[i])));
  const bool three = base == 3;
  if (three) {
    return CompareTexts(u, "CON") == 0 || CompareTexts(u, "PRN") == 0 ||
           CompareTexts(u, "AUX") == 0 || CompareTexts(u, "NUL") == 0;
  }
  const bool numbered = u[3] >= '1' && u[3] <= '9';
  u[3] = 0;
  return numbered && (CompareTexts(u, "COM") == 0 || CompareTexts(u, "LPT") == 0);
}

// Copies `title` into `out` with forbidden bytes replaced, stopping on a
// character boundary before `limit` bytes; returns the length.
uint32_t CopyCleaned(const uint8_t* title, char* out, uint32_t limit) {
  uint32_t length = 0;
  for (uint32_t i = 0; title[i] != 0;) {
    const bool pair = IsLeadByte(title[i]) && title[i + 1] != 0 && IsTrailByte(title[i + 1]);
    const uint32_t width = pair ? 2 : 1;
    if (length + width > limit) break;
    if (pair) {
      out[length++] = static_cast<char>(title[i]);
      out[length++] = static_cast<char>(title[i + 1]);
    } else {
      out[length++] =
          (IsForbidden(title[i]) || IsLeadByte(title[i])) ? '_' : static_cast<char>(title[i]);
    }
    i += width;
  }
  return length;
}

// The cleaned title cut to `limit` bytes without trailing dots and spaces,
// into out[0..length); returns the length.
uint32_t TrimmedName(const char* title, char* out, uint32_t limit) {
  uint32_t length = CopyCleaned(reinterpret_cast<const uint8_t*>(title ? title : ""), out, limit);
  while (length > 0 && (out[length - 1] == '.' || out[length - 1] == ' ')) --length;
  return length;
}

}  // namespace

char* SafeFolderName(const char* title, const char* galleryNumber) {
  char name[MAX_FOLDER_NAME_BYTES + 1];
  uint32_t length = TrimmedName(title, name + 1, MAX_FOLDER_NAME_BYTES);
  if (length == 0) return CopyText(galleryNumber);
  if (!IsDeviceName(name + 1, length)) return CopyTextBytes(name + 1, length);
  // The "_" in front takes one byte of the limit; the cut leaves the device
  // name before the first dot as it was.
  length = TrimmedName(title, name + 1, MAX_FOLDER_NAME_BYTES - 1);
  name[0] = '_';
  return CopyTextBytes(name, length + 1);
}

}  // namespace tulora
