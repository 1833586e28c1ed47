// Ending the process at once, for the kernel's program end and its fatal
// errors.
#ifndef TULORA_RUNTIME_KERNEL_PROCESS_END_H
#define TULORA_RUNTIME_KERNEL_PROCESS_END_H

namespace tulora::rt {

// Ends the process with `code` without running its exit handlers or
// static destructors: another thread may still be using what they would
// take away. Buffered standard streams are not flushed.
[[noreturn]] void EndProcessAtOnce(int code);

// From here on an end that comes from outside (POSIX: SIGINT, SIGTERM,
// SIGHUP; Windows: Ctrl+C, Ctrl+Break, the console closed, logoff,
// shutdown) first removes the temporary files of the writes under way
// (AbandonUnfinishedWrites), as Enter does, then ends the process as that
// end would have. Called once, before the program starts any thread.
void CleanUpAtOutsideEnds();

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_PROCESS_END_H
