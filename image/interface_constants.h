// The numbers and names that both sides of the image boundary use, written
// once: what the application hands to the declared DLL functions and to the
// request object, and what the runtime (the platform's own functions, or
// the Linux stand-ins for them) reads there; and the kernel library's entry
// as the launcher and the kernel see it.
//
// Freestanding: <stdint.h> only, for the application and the hosted
// runtime alike. The code page names differ from the platform headers'
// macros; the WinINet names are those of <wininet.h>, which no file that
// includes this header may include as well.
#ifndef TULORA_IMAGE_INTERFACE_CONSTANTS_H
#define TULORA_IMAGE_INTERFACE_CONSTANTS_H

#include <stdint.h>

namespace tulora {

// --- WinINet -------------------------------------------------------------
// Access types of InternetOpenA.
inline constexpr uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;  // the environment's proxy
inline constexpr uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr uint32_t INTERNET_OPEN_TYPE_PROXY = 3;
// The service of InternetConnectA.
inline constexpr uint32_t INTERNET_SERVICE_HTTP = 3;

// Request flags of HttpOpenRequestA.
inline constexpr uint32_t INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr uint32_t INTERNET_FLAG_SECURE = 0x00800000;
inline constexpr uint32_t INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
inline constexpr uint32_t INTERNET_FLAG_NO_COOKIES = 0x00080000;
inline constexpr uint32_t INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;
inline constexpr uint32_t INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
inline constexpr uint32_t INTERNET_FLAG_NEED_FILE = 0x00000010;

// Information levels of HttpQueryInfoA.
inline constexpr uint32_t HTTP_QUERY_STATUS_CODE = 19;
inline constexpr uint32_t HTTP_QUERY_STATUS_TEXT = 20;
inline constexpr uint32_t HTTP_QUERY_RAW_HEADERS_CRLF = 22;
inline constexpr uint32_t HTTP_QUERY_FLAG_NUMBER = 0x20000000;

// --- The request object ----------------------------------------------------
inline constexpr char REQUEST_PROG_ID[] = "WinHttp.WinHttpRequest.5.1";

// Indices of its Option property.
inline constexpr int32_t REQUEST_OPTION_SSL_ERROR_IGNORE_FLAGS = 4;  // REQUEST_IGNORE_* bits
inline constexpr int32_t REQUEST_OPTION_ENABLE_REDIRECTS = 6;        // 0 or 1

// Certificate problems option 4 lets a request ignore: unknown or untrusted
// issuer, wrong key usage, a name that does not match the host, a date
// outside the validity period.
inline constexpr uint32_t REQUEST_IGNORE_UNKNOWN_CA = 0x0100;
inline constexpr uint32_t REQUEST_IGNORE_WRONG_USAGE = 0x0200;
inline constexpr uint32_t REQUEST_IGNORE_CERT_CN_INVALID = 0x1000;
inline constexpr uint32_t REQUEST_IGNORE_CERT_DATE_INVALID = 0x2000;

// Settings of its SetProxy method.
inline constexpr int32_t REQUEST_PROXY_DEFAULT = 0;
inline constexpr int32_t REQUEST_PROXY_DIRECT = 1;
inline constexpr int32_t REQUEST_PROXY_SERVER = 2;  // with a proxy list

// --- Both request ways ---------------------------------------------------------
// The longest response body either way holds: 128 MiB. The WinINet routine
// reads no further (its body is then not read to its end); the Linux
// stand-in of the request object fails a Send whose body grows past it,
// as the object fails when it cannot hold a body (E_OUTOFMEMORY).
inline constexpr uint32_t MAX_RESPONSE_BODY_BYTES = 128u << 20;

// --- Code pages of MultiByteToWideChar and WideCharToMultiByte --------------
inline constexpr uint32_t CP_ANSI = 0;  // the system's ANSI code page
inline constexpr uint32_t CP_GBK = 936;
inline constexpr uint32_t CP_UTF8_PAGE = 65001;

// --- The kernel library's entry ----------------------------------------------
// The launcher calls the kernel's export GetNewSock with this version and
// hands the address of the program image to the entry it returns (null: the
// version is not served). The entry returns when the application has
// finished; its result is not used.
inline constexpr int32_t KERNEL_INTERFACE_VERSION = 1000;
using RuntimeEntry = int (*)(const void* programImage);
using GetNewSockFunction = RuntimeEntry (*)(int32_t version);

}  // namespace tulora

#endif  // TULORA_IMAGE_INTERFACE_CONSTANTS_H
