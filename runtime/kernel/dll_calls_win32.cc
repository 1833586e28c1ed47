// Windows: the declared DLL functions are the system's own, found with
// LoadLibraryA and GetProcAddress and called in the system's convention.
// On i686 that is stdcall, where the function removes its arguments; the
// stack pointer after the call tells whether it took as many words as were
// passed. On x86-64 the caller removes the arguments, so no such check is
// possible there.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <psapi.h>  // after windows.h, whose types it uses

#include <deque>
#include <mutex>

#include "runtime/kernel/dll_calls.h"

namespace tulora::rt {
namespace {

// A function without a DLL name is the system's function of that name: the
// modules the program's declarations name are tried in turn, then every
// module already loaded.
constexpr const char* kSystemModules[] = {"kernel32", "ole32", "wininet"};

// Resolved functions with their names, kept for the life of the process
// (the kernel holds pointers to them).
struct Resolved {
  std::string dll, function;
  DllExport entry;
};
std::mutex g_lock;
std::deque<Resolved>& Table() {
  static std::deque<Resolved>* table = new std::deque<Resolved>;
  return *table;
}

const void* FindInLoadedModules(const char* function) {
  for (const char* name : kSystemModules) {
    HMODULE module = LoadLibraryA(name);
    if (module == nullptr) continue;
    if (FARPROC f = GetProcAddress(module, function)) return reinterpret_cast<const void*>(f);
  }
  HMODULE modules[512];
  DWORD bytes = 0;
  if (!K32EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &bytes)) return nullptr;
  const DWORD count = bytes / sizeof modules[0] < 512 ? bytes / sizeof modules[0] : 512;
  for (DWORD i = 0; i < count; ++i) {
    if (FARPROC f = GetProcAddress(modules[i], function)) return reinterpret_cast<const void*>(f);
  }
  return nullptr;
}

const void* FindFunction(const std::string& dll, const std::string& function) {
  if (dll.empty()) return FindInLoadedModules(function.c_str());
  HMODULE module = LoadLibraryA(dll.c_str());  // adds ".dll" to a name without extension
  if (module == nullptr) return nullptr;
  return reinterpret_cast<const void*>(GetProcAddress(module, function.c_str()));
}

#if defined(__i386__)
// Pushes `count` words (the last first) below a scratch area and calls
// `function`; returns how far the stack pointer after the call lies from
// where a function that removed exactly `count` words leaves it (0: right).
// The scratch area lets a function that takes more words read and write
// them there instead of in this frame; the stack pointer is restored from
// a register the callee keeps, whatever it did.
int32_t CallStdcall(const void* function, uint32_t count, const uintptr_t* args,
                    uintptr_t* result) {
  uintptr_t eax;
  int32_t offset;
  const void* target = function;
  const uintptr_t* words = args;
  asm volatile(
      "movl %%esp, %%edi\n\t"  // edi: the stack pointer to return to
      "subl $256, %%esp\n\t"   // 64 scratch words
      "andl $-16, %%esp\n\t"
      "movl %%esp, %%esi\n\t"  // esi: where stdcall leaves the stack pointer
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n"
      "1:\n\t"
      "pushl -4(%%edx,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jnz 1b\n"
      "2:\n\t"
      "call *%%eax\n\t"
      "movl %%esp, %%ecx\n\t"
      "subl %%esi, %%ecx\n\t"
      "movl %%edi, %%esp\n\t"
      : "=a"(eax), "=c"(offset), "+d"(words)
      : "0"(target), "1"(count)
      : "esi", "edi", "memory", "cc");
  *result = eax;
  return offset;
}
#endif

typedef uintptr_t W;

#if defined(__x86_64__)
// The x64 convention: the first four words in registers, the rest on the
// stack, removed by the caller; the compiler's calls do exactly that.
void CallX64(const void* function, uint32_t count, const uintptr_t* a, uintptr_t* result) {
  W w[MAX_DLL_ARGUMENTS] = {};
  for (uint32_t i = 0; i < count; ++i) w[i] = a[i];
  // Passing every word is harmless in this convention: a function reads the
  // ones it takes and the caller removes them all.
  auto f = reinterpret_cast<W (*)(W, W, W, W, W, W, W, W, W, W, W, W)>(const_cast<void*>(function));
  *result = f(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10], w[11]);
}
#endif

}  // namespace

const DllExport* ResolveDllFunction(const std::string& dll, const std::string& function) {
  const void* address = FindFunction(dll, function);
  if (address == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(g_lock);
  std::deque<Resolved>& table = Table();
  table.push_back(Resolved{DllBaseName(dll), function, DllExport{}});
  Resolved& r = table.back();
  r.entry = DllExport{r.dll.c_str(), r.function.c_str(), address, 0};  // words: unknown
  return &r.entry;
}

DllCallOutcome CallDllWords(const DllExport& target, uint32_t count, const uintptr_t* args,
                            uintptr_t* result) {
  if (count > MAX_DLL_ARGUMENTS) return DllCallOutcome::kTooManyWords;
#if defined(__i386__)
  if (CallStdcall(target.address, count, args, result) != 0) {
    return DllCallOutcome::kWrongWordCount;
  }
#else
  CallX64(target.address, count, args, result);
#endif
  return DllCallOutcome::kDone;
}

}  // namespace tulora::rt
