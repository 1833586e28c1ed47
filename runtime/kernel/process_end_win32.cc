// Windows: TerminateProcess on the process itself, not ExitProcess.
// ExitProcess would detach every DLL, and the C runtime of each runs its
// exit handlers and static destructors then; a thread that ExitProcess
// killed while it held a lock (the heap's, the C runtime's) can leave them
// waiting for ever. TerminateProcess runs nothing of the process. Console
// output needs no flush: the console commands write unbuffered.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "runtime/kernel/process_end.h"

namespace tulora::rt {

void EndProcessAtOnce(int code) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  // Termination of the calling process does not come back; should the call
  // fail, the process still ends here.
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace tulora::rt
