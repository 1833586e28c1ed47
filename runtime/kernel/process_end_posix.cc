#include "runtime/kernel/process_end.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "runtime/kernel/file_commands.h"

namespace tulora::rt {

void EndProcessAtOnce(int code) { _exit(code); }

// The signals are blocked in every thread (the program's threads inherit
// the mask) and taken by one thread of their own, where the cleanup may
// take locks, which a signal handler could not. It then lets the signal
// end the process as it would have: unblocked in that thread, with its
// default action.
void CleanUpAtOutsideEnds() {
  sigset_t ends;
  sigemptyset(&ends);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ends, signal);
  if (pthread_sigmask(SIG_BLOCK, &ends, nullptr) != 0) return;
  std::thread([ends] {
    int signal = 0;
    while (sigwait(&ends, &signal) != 0) {
    }
    AbandonUnfinishedWrites();
    ::signal(signal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
    _exit(128 + signal);  // should the default action not end the process
  }).detach();
}

}  // namespace tulora::rt
