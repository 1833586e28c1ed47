// The kernel's two hooks on Windows, where the system itself serves.
#include "runtime/kernel/platform_winapi.h"

namespace tulora::rt {

// The declared DLL functions are the system's own, found by
// ResolveDllFunction (dll_calls_win32.cc): the runtime offers none of its
// own.
const DllExport* PlatformDllExports(size_t* count) {
  *count = 0;
  return nullptr;
}

// Objects by ProgID are the system's COM classes. Their class for the
// object layer, over IDispatch, is not written yet: until it is, creating
// an object answers "no such object" (false), as the object layer does for
// any ProgID without a class.
void RegisterPlatformObjects() {}

}  // namespace tulora::rt
