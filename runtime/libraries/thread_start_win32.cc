#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdlib>

#include "runtime/libraries/thread_start.h"

namespace tulora::rt {
namespace {

struct Start {
  void (*body)(void*);
  void* context;
};

DWORD WINAPI Run(LPVOID raw) {
  Start start = *static_cast<Start*>(raw);
  std::free(raw);
  start.body(start.context);
  return 0;
}

}  // namespace

// The stack size is the thread's reservation, as a thread library's stack
// size is; the handle is closed at once, which detaches the thread.
bool StartDetachedThread(void (*body)(void* context), void* context, unsigned stackBytes) {
  auto* start = static_cast<Start*>(std::malloc(sizeof(Start)));
  if (start == nullptr) return false;
  *start = Start{body, context};
  HANDLE thread =
      CreateThread(nullptr, stackBytes, Run, start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) {
    std::free(start);
    return false;
  }
  CloseHandle(thread);
  return true;
}

}  // namespace tulora::rt
