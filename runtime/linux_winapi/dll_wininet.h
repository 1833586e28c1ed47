// The WinINet functions behind the declared DLL functions on Linux, taking
// the words the application passes (see dll_exports.h) and handing them to
// wininet.h with their real types.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_DLL_WININET_H
#define TULORA_RUNTIME_LINUX_WINAPI_DLL_WININET_H

#include "runtime/linux_winapi/dll_exports.h"

namespace tulora::rt {

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

#endif  // TULORA_RUNTIME_LINUX_WINAPI_DLL_WININET_H
