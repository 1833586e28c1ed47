#include "runtime/libraries/thread_start.h"

#include <pthread.h>

#include <cstdlib>

namespace tulora::rt {
namespace {

struct Start {
  void (*body)(void*);
  void* context;
};

void* Run(void* raw) {
  Start start = *static_cast<Start*>(raw);
  std::free(raw);
  start.body(start.context);
  return nullptr;
}

}  // namespace

bool StartDetachedThread(void (*body)(void* context), void* context, unsigned stackBytes) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attr, stackBytes);
  auto* start = static_cast<Start*>(std::malloc(sizeof(Start)));
  if (start == nullptr) {
    pthread_attr_destroy(&attr);
    return false;
  }
  *start = Start{body, context};
  pthread_t thread;
  bool started = pthread_create(&thread, &attr, Run, start) == 0;
  pthread_attr_destroy(&attr);
  if (!started) std::free(start);
  return started;
}

}  // namespace tulora::rt
