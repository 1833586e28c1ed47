#include "runtime/linux_winapi/dll_exports.h"

#include "runtime/text/codepage.h"
#include "runtime/kernel/dll_functions.h"

namespace tulora::rt {
namespace {

int32_t Int32Of(Word w) { return static_cast<int32_t>(static_cast<uint32_t>(w)); }
uint32_t Uint32Of(Word w) { return static_cast<uint32_t>(w); }
template <typename T>
T* PointerOf(Word w) {
  return reinterpret_cast<T*>(w);
}

#define TULORA_EXPORT(dll, name, words) \
  { dll, #name, reinterpret_cast<const void*>(&Dll##name), words }

const DllExport kExports[] = {
    TULORA_EXPORT("ole32", CoInitialize, 1),
    TULORA_EXPORT("ole32", CoUninitialize, 0),
    TULORA_EXPORT("kernel32", MultiByteToWideChar, 6),
    TULORA_EXPORT("kernel32", WideCharToMultiByte, 8),
    TULORA_EXPORT("wininet", InternetOpenA, 5),
    TULORA_EXPORT("wininet", InternetCloseHandle, 1),
    TULORA_EXPORT("wininet", InternetConnectA, 8),
    TULORA_EXPORT("wininet", HttpOpenRequestA, 8),
    TULORA_EXPORT("wininet", HttpSendRequestA, 5),
    TULORA_EXPORT("wininet", InternetReadFile, 4),
    TULORA_EXPORT("wininet", HttpQueryInfoA, 5),
};

#undef TULORA_EXPORT

}  // namespace

const DllExport* PlatformDllExports(size_t* count) {
  *count = sizeof kExports / sizeof kExports[0];
  return kExports;
}

Word DllCoInitialize(Word) { return 0; }
Word DllCoUninitialize() { return 0; }

Word DllMultiByteToWideChar(Word codePage, Word flags, Word src, Word srcLen, Word dst,
                            Word dstLen) {
  int n = CpMultiByteToWideChar(Uint32Of(codePage), Uint32Of(flags), PointerOf<const char>(src),
                                Int32Of(srcLen), PointerOf<uint16_t>(dst), Int32Of(dstLen));
  return static_cast<uint32_t>(n);
}

Word DllWideCharToMultiByte(Word codePage, Word flags, Word src, Word srcLen, Word dst,
                            Word dstLen, Word defaultChar, Word usedDefault) {
  int n = CpWideCharToMultiByte(Uint32Of(codePage), Uint32Of(flags),
                                PointerOf<const uint16_t>(src), Int32Of(srcLen),
                                PointerOf<char>(dst), Int32Of(dstLen),
                                PointerOf<const char>(defaultChar),
                                PointerOf<int32_t>(usedDefault));
  return static_cast<uint32_t>(n);
}

}  // namespace tulora::rt
