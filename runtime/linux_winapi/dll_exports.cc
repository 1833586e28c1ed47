#include "runtime/linux_winapi/dll_exports.h"

#include "runtime/text/codepage.h"

namespace tulora::rt {
namespace {

int32_t Int32Of(Word w) { return static_cast<int32_t>(static_cast<uint32_t>(w)); }
uint32_t Uint32Of(Word w) { return static_cast<uint32_t>(w); }
template <typename T>
T* PointerOf(Word w) {
  return reinterpret_cast<T*>(w);
}

}  // namespace

Word DllCoInitialize(Word) { return 0; }
Word DllCoUninitialize() { return 0; }

Word DllMultiByteToWideChar(Word codePage, Word flags, Word src, Word srcLen, Word dst,
                            Word dstLen) {
  int n = CpMultiByteToWideChar(Uint32Of(codePage), Uint32Of(flags), PointerOf<const char>(src),
                                Int32Of(srcLen), PointerOf<uint16_t>(dst), Int32Of(dstLen));
  return static_cast<uint32_t>(n);
}

Word DllWideCharToMultiByte(Word codePage, Word flags, Word src, Word srcLen, Word dst, Word dstLen,
                            Word defaultChar, Word usedDefault) {
  int n =
      CpWideCharToMultiByte(Uint32Of(codePage), Uint32Of(flags), PointerOf<const uint16_t>(src),
                            Int32Of(srcLen), PointerOf<char>(dst), Int32Of(dstLen),
                            PointerOf<const char>(defaultChar), PointerOf<int32_t>(usedDefault));
  return static_cast<uint32_t>(n);
}

}  // namespace tulora::rt
