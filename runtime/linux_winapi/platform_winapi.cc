// The kernel's two hooks into the Linux stand-ins: the table of the
// functions behind the declared DLL functions, and the request object's
// class for the object layer.
#include "runtime/kernel/platform_winapi.h"

#include "runtime/linux_winapi/dll_exports.h"
#include "runtime/linux_winapi/dll_wininet.h"
#include "runtime/linux_winapi/request_object.h"

namespace tulora::rt {
namespace {

#define STAND_IN(dll, name, words) \
  { dll, #name, reinterpret_cast<const void*>(&Dll##name), words }

const DllExport kExports[] = {
    STAND_IN("ole32", CoInitialize, 1),           STAND_IN("ole32", CoUninitialize, 0),
    STAND_IN("kernel32", MultiByteToWideChar, 6), STAND_IN("kernel32", WideCharToMultiByte, 8),
    STAND_IN("wininet", InternetOpenA, 5),        STAND_IN("wininet", InternetCloseHandle, 1),
    STAND_IN("wininet", InternetConnectA, 8),     STAND_IN("wininet", HttpOpenRequestA, 8),
    STAND_IN("wininet", HttpSendRequestA, 5),     STAND_IN("wininet", InternetReadFile, 4),
    STAND_IN("wininet", HttpQueryInfoA, 5),
};

#undef STAND_IN

}  // namespace

const DllExport* PlatformDllExports(size_t* count) {
  *count = sizeof kExports / sizeof kExports[0];
  return kExports;
}

void RegisterPlatformObjects() { RegisterRequestObjectClass(); }

}  // namespace tulora::rt
