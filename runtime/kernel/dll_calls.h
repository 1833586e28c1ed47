// The declared DLL functions of a program image: found by DLL and function
// name, called with the pointer-sized words the application passes, in the
// platform's convention. On Linux every function the image may declare is a
// stand-in of the runtime (COM start-up, the code-page conversions, the
// WinINet calls) that knows how many words it takes; on Windows they are the
// system's own functions, where only the stack after the call tells whether
// the count was right.
#ifndef TULORA_RUNTIME_KERNEL_DLL_CALLS_H
#define TULORA_RUNTIME_KERNEL_DLL_CALLS_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace tulora::rt {

inline constexpr uint32_t MAX_DLL_ARGUMENTS = 12;

// One function the platform offers under a DLL's name.
struct DllExport {
  const char* dll;       // base name in lower case, without ".dll"
  const char* function;  // exact name, letter case included
  const void* address;
  uint32_t words;  // argument words it takes, where the platform knows it
};

// A DLL name as the back-ends match it: in lower case, without ".dll".
std::string DllBaseName(const std::string& dll);

// Finds a function by DLL and function name. The DLL name is matched
// without regard to letter case and with or without ".dll"; an empty DLL
// name searches every DLL, as the platform's default search order would.
// Function names match exactly. Null when the platform lacks the function.
const DllExport* ResolveDllFunction(const std::string& dll, const std::string& function);

enum class DllCallOutcome {
  kDone,
  kWrongWordCount,  // the function takes another number of words: the stack
                    // would not be restored
  kTooManyWords,    // more than MAX_DLL_ARGUMENTS; nothing called
};

// Calls `target` with `count` word arguments; `result` holds its result
// when the outcome is kDone.
DllCallOutcome CallDllWords(const DllExport& target, uint32_t count, const uintptr_t* args,
                            uintptr_t* result);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_DLL_CALLS_H
