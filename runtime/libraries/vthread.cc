// The multi-thread support library (VThread.vlr). Command 1 starts a
// thread that runs an application routine.
//
// (routine, [int argument], [byref int handle]) -> bool. The routine is
// called with the argument as its one word (0 when omitted; a routine that
// takes none ignores it). The thread is detached: nobody waits for it, and
// the handle written back is a number that identifies it, counting from 1.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "image/commands.h"
#include "runtime/base/argument_view.h"
#include "runtime/base/export.h"
#include "runtime/base/library_abi.h"
#include "runtime/libraries/thread_start.h"

namespace {

using tulora::ArgumentList;
using tulora::CommandResult;
using tulora::rt::ArgumentView;
using tulora::rt::LibraryHost;

typedef void(TULORA_CALL* ThreadRoutine)(intptr_t argument);

constexpr unsigned kThreadStackBytes = 1u << 20;

struct ThreadStart {
  ThreadRoutine routine;
  intptr_t argument;
  const LibraryHost* host;
};

std::atomic<int32_t> g_nextHandle{1};

// The start record lives in the C heap: this library needs nothing of the
// C++ run-time library, so none is loaded for it, and a record that cannot
// be had is a thread not started rather than an exception.
void RunThread(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  std::free(raw);
  start.routine(start.argument);
  start.host->ThreadEnds();
}

bool StartThread(const LibraryHost* host, ThreadRoutine routine, intptr_t argument) {
  auto* start = static_cast<ThreadStart*>(std::malloc(sizeof(ThreadStart)));
  if (start == nullptr) return false;
  *start = ThreadStart{routine, argument, host};
  host->ThreadBegins();  // counted before it can run, so an exit sees it
  if (tulora::rt::StartDetachedThread(RunThread, start, kThreadStackBytes)) return true;
  host->ThreadEnds();
  std::free(start);
  return false;
}
CommandResult StartCommand(const LibraryHost* host, ArgumentList* list) {
  ArgumentView args(list);
  ThreadRoutine routine = reinterpret_cast<ThreadRoutine>(args.Address(0));
  if (routine == nullptr || !StartThread(host, routine, args.Int(1))) return 0;
  if (void* handle = args.Variable(2)) {
    int32_t number = g_nextHandle.fetch_add(1);
    std::memcpy(handle, &number, sizeof number);
  }
  return 1;
}

}  // namespace

TULORA_EXPORT CommandResult TuloraLibraryCommand(const LibraryHost* host, uint32_t command,
                                                 ArgumentList* args) {
  if (command == tulora::CMD_THREAD_START) return StartCommand(host, args);
  return 0;
}
