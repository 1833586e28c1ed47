#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "runtime/libraries/pause.h"

namespace tulora::rt {

// Sleep is not cut short by anything but the end of the time.
void PauseThread(int32_t milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

}  // namespace tulora::rt
