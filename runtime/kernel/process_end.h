// Ending the process at once, for the kernel's program end and its fatal
// errors.
#ifndef TULORA_RUNTIME_KERNEL_PROCESS_END_H
#define TULORA_RUNTIME_KERNEL_PROCESS_END_H

namespace tulora::rt {

// Ends the process with `code` without running its exit handlers or
// static destructors: another thread may still be using what they would
// take away. Buffered standard streams are not flushed.
[[noreturn]] void EndProcessAtOnce(int code);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_PROCESS_END_H
