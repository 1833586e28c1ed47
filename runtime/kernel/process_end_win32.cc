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

#include "runtime/kernel/file_commands.h"

namespace tulora::rt {
namespace {

// The console's ends, on a thread the system starts for them. The process
// ends as the system's own handler would end it (STATUS_CONTROL_C_EXIT),
// but through EndProcessAtOnce, for the reasons above.
BOOL WINAPI OnConsoleEnd(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      AbandonUnfinishedWrites();
      EndProcessAtOnce(static_cast<int>(STATUS_CONTROL_C_EXIT));
    default: return FALSE;
  }
}

}  // namespace

void EndProcessAtOnce(int code) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  // Termination of the calling process does not come back; should the call
  // fail, the process still ends here.
  ExitProcess(static_cast<UINT>(code));
}

void CleanUpAtOutsideEnds() { SetConsoleCtrlHandler(OnConsoleEnd, TRUE); }

}  // namespace tulora::rt
