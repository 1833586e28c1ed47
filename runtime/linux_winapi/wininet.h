// The WinINet functions the application declares, on Linux over libcurl.
// Handles are pointer-sized numbers, texts NUL-terminated bytes, DWORDs
// uint32_t and BOOLs int32_t (1 or 0), as on the platform; the runtime binds
// these functions to the image's DllFunctionTable entries.
//
// HttpSendRequestA performs the whole exchange at once and keeps the body;
// InternetReadFile then hands it out in the caller's chunk size.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_WININET_H
#define TULORA_RUNTIME_LINUX_WINAPI_WININET_H

#include <stdint.h>

#include "image/interface_constants.h"  // access types, flags, information levels

namespace tulora::net {

uintptr_t InternetOpenA(const char* agent, uint32_t accessType, const char* proxy,
                        const char* proxyBypass, uint32_t flags);
uintptr_t InternetConnectA(uintptr_t internet, const char* serverName, uint16_t serverPort,
                           const char* userName, const char* password, uint32_t service,
                           uint32_t flags, uintptr_t context);
uintptr_t HttpOpenRequestA(uintptr_t connection, const char* verb, const char* objectName,
                           const char* version, const char* referrer,
                           const char* const* acceptTypes, uint32_t flags, uintptr_t context);
// headersLength 0xFFFFFFFF: `headers` is NUL-terminated.
int32_t HttpSendRequestA(uintptr_t request, const char* headers, uint32_t headersLength,
                         const void* optional, uint32_t optionalLength);
int32_t InternetReadFile(uintptr_t file, void* buffer, uint32_t bytesToRead, uint32_t* bytesRead);
int32_t HttpQueryInfoA(uintptr_t request, uint32_t infoLevel, void* buffer, uint32_t* bufferLength,
                       uint32_t* index);
int32_t InternetCloseHandle(uintptr_t handle);

// The error of the calling thread's last failed call (the platform's
// GetLastError for these functions). Every call sets it, to 0 on success.
uint32_t InternetLastError();

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_WININET_H
