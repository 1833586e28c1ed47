// The functions behind the declared DLL functions on Linux. Each takes its
// arguments as the words the application passes (pointer-sized); 32-bit
// parameters are taken from a word's low half. The WinINet functions are
// declared in dll_wininet.h.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_DLL_EXPORTS_H
#define TULORA_RUNTIME_LINUX_WINAPI_DLL_EXPORTS_H

#include <stdint.h>

namespace tulora::rt {

typedef uintptr_t Word;

// ole32: COM needs no start-up here; both succeed (S_OK).
Word DllCoInitialize(Word reserved);
Word DllCoUninitialize();

// kernel32: the code-page conversions.
Word DllMultiByteToWideChar(Word codePage, Word flags, Word src, Word srcLen, Word dst,
                            Word dstLen);
Word DllWideCharToMultiByte(Word codePage, Word flags, Word src, Word srcLen, Word dst, Word dstLen,
                            Word defaultChar, Word usedDefault);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_LINUX_WINAPI_DLL_EXPORTS_H
