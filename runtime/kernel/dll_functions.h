// The declared DLL functions of a program image, as this runtime provides
// them. On Linux every function the image may declare is a function of the
// runtime itself (COM start-up, the code-page conversions, the WinINet
// calls); each takes its arguments as pointer-sized words.
#ifndef TULORA_RUNTIME_DLL_FUNCTIONS_H
#define TULORA_RUNTIME_DLL_FUNCTIONS_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace tulora::rt {

inline constexpr uint32_t MAX_DLL_ARGUMENTS = 12;

// One function the runtime offers under a DLL's name.
struct DllExport {
  const char* dll;       // base name in lower case, without ".dll"
  const char* function;  // exact name, letter case included
  const void* address;   // a function taking `words` uintptr_t arguments
  uint32_t words;
};

// The platform back-end's list.
const DllExport* PlatformDllExports(size_t* count);

// Finds a function by DLL and function name. The DLL name is matched
// without regard to letter case and with or without ".dll"; an empty DLL
// name searches every DLL, as the platform's default search order would.
// Function names match exactly. Null when the runtime lacks the function.
const DllExport* ResolveDllFunction(const std::string& dll, const std::string& function);

// Calls `function` with `count` word arguments and returns its result;
// false (nothing called) when count exceeds MAX_DLL_ARGUMENTS.
bool CallWithWords(const void* function, uint32_t count, const uintptr_t* args,
                   uintptr_t* result);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_DLL_FUNCTIONS_H
