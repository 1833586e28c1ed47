// Text re-encoding through UTF-16. See reencode.h.
#include "crawler/reencode.h"

#include "image/dll_table.h"
#include "image/runtime_calls.h"

namespace tulora {
namespace {

const uintptr_t kWholeText = static_cast<uintptr_t>(static_cast<intptr_t>(-1));

// MultiByteToWideChar(codePage, 0, text, -1, units, capacity).
uint32_t ToWide(int32_t codePage, const char* text, void* units, uint32_t capacity) {
  const uintptr_t args[6] = {static_cast<uintptr_t>(static_cast<uint32_t>(codePage)),
                             0,
                             Word(text),
                             kWholeText,
                             Word(units),
                             capacity};
  return CallDll(TULORA_DLL_ENTRY(MultiByteToWideChar), 6, args);
}

// WideCharToMultiByte(codePage, 0, units, -1, bytes, capacity, null, null).
uint32_t FromWide(int32_t codePage, const void* units, char* bytes, uint32_t capacity) {
  const uintptr_t args[8] = {static_cast<uintptr_t>(static_cast<uint32_t>(codePage)),
                             0,
                             Word(units),
                             kWholeText,
                             Word(bytes),
                             capacity,
                             0,
                             0};
  return CallDll(TULORA_DLL_ENTRY(WideCharToMultiByte), 8, args);
}

// True when the UTF-16 data holds a zero unit within its length.
bool HasZeroUnit(const ByteSet* data) {
  uint32_t units = ByteSetLength(data) / 2;
  const uint8_t* bytes = data->data();
  for (uint32_t i = 0; i < units; ++i) {
    if (bytes[2 * i] == 0 && bytes[2 * i + 1] == 0) return true;
  }
  return false;
}

}  // namespace

char* Utf8ToGbk(const char* text) {
  OwnedBytes units(TextToUtf16(text));
  return Utf16ToText(units.get(), CP_GBK);
}

ByteSet* TextToUtf16(const char* text, int32_t codePage) {
  const char* source = text != nullptr ? text : "";
  uint32_t needed = ToWide(codePage, source, nullptr, 0);
  if (needed > 0x3FFFFFFF) needed = 0;  // no sane answer: treat as refused
  ByteSet* units = NewByteSet(needed * 2);
  if (needed != 0) ToWide(codePage, source, units->data(), needed);
  return units;
}

char* Utf16ToText(const ByteSet* data, int32_t codePage) {
  // The conversion reads up to the first zero unit; data without one (an
  // empty or foreign byte set) is read from a terminated copy so that the
  // conversion never runs past the block.
  OwnedBytes terminated;
  const ByteSet* units = data;
  if (units == nullptr || !HasZeroUnit(units)) {
    uint32_t length = ByteSetLength(units) & ~1u;
    terminated.Reset(NewByteSet(length + 2));
    if (length != 0) __builtin_memcpy(terminated.get()->data(), units->data(), length);
    units = terminated.get();
  }
  uint32_t needed = FromWide(codePage, units->data(), nullptr, 0);
  if (needed == 0 || needed > 0x7FFFFFFF) return CopyText(nullptr);
  OwnedText buffer(static_cast<char*>(tulora_services.Allocate(needed)));
  __builtin_memset(buffer.get(), 0, needed);
  FromWide(codePage, units->data(), buffer.get(), needed);
  // The converted text ends at its first zero byte; a refused conversion
  // leaves the buffer zero, which reads as the empty text.
  uint32_t length = 0;
  while (length < needed && buffer.get()[length] != 0) ++length;
  return CopyTextBytes(buffer.get(), length);
}

}  // namespace tulora
