// The kernel's two hooks on Windows, where the system itself serves.
#include "runtime/kernel/platform_winapi.h"

#include "runtime/kernel/com_objects.h"

namespace tulora::rt {

// The declared DLL functions are the system's own, found by
// ResolveDllFunction (dll_calls_win32.cc): the runtime offers none of its
// own.
const DllExport* PlatformDllExports(size_t* count) {
  *count = 0;
  return nullptr;
}

// Objects by ProgID are the system's COM classes, driven through IDispatch
// (com_objects_win32.cc).
void RegisterPlatformObjects() { RegisterSystemObjectClasses(); }

}  // namespace tulora::rt
