// The functions behind the declared DLL functions on Linux. Each takes its
// arguments as the words the application passes (pointer-sized); 32-bit
// parameters are taken from a word's low half.
#ifndef TULORA_RUNTIME_DLL_EXPORTS_POSIX_H
#define TULORA_RUNTIME_DLL_EXPORTS_POSIX_H

#include <stdint.h>

namespace tulora::rt {

typedef uintptr_t Word;

// ole32: COM needs no start-up here; both succeed (S_OK).
Word DllCoInitialize(Word reserved);
Word DllCoUninitialize();

// kernel32: the code-page conversions.
Word DllMultiByteToWideChar(Word codePage, Word flags, Word src, Word srcLen, Word dst,
                            Word dstLen);
Word DllWideCharToMultiByte(Word codePage, Word flags, Word src, Word srcLen, Word dst,
                            Word dstLen, Word defaultChar, Word usedDefault);

// wininet.
Word DllInternetOpenA(Word agent, Word accessType, Word proxy, Word proxyBypass, Word flags);
Word DllInternetCloseHandle(Word handle);
Word DllInternetConnectA(Word session, Word server, Word port, Word user, Word password,
                         Word service, Word flags, Word context);
Word DllHttpOpenRequestA(Word connection, Word verb, Word object, Word version, Word referrer,
                         Word acceptTypes, Word flags, Word context);
Word DllHttpSendRequestA(Word request, Word headers, Word headersLength, Word optional,
                         Word optionalLength);
Word DllInternetReadFile(Word handle, Word buffer, Word toRead, Word read);
Word DllHttpQueryInfoA(Word request, Word infoLevel, Word buffer, Word length, Word index);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_DLL_EXPORTS_POSIX_H
