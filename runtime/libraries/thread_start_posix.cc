#include "runtime/libraries/thread_start.h"

#include <pthread.h>

namespace tulora::rt {
namespace {

struct Start {
  void (*body)(void*);
  void* context;
};

void* Run(void* raw) {
  Start start = *static_cast<Start*>(raw);
  delete static_cast<Start*>(raw);
  start.body(start.context);
  return nullptr;
}

}  // namespace

bool StartDetachedThread(void (*body)(void* context), void* context, unsigned stackBytes) {
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attr, stackBytes);
  Start* start = new Start{body, context};
  pthread_t thread;
  bool started = pthread_create(&thread, &attr, Run, start) == 0;
  pthread_attr_destroy(&attr);
  if (!started) delete start;
  return started;
}

}  // namespace tulora::rt
