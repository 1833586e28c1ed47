#include "runtime/kernel/dll_calls.h"

#include "runtime/kernel/platform_winapi.h"

namespace tulora::rt {
namespace {

typedef uintptr_t W;

// Calls `function` with `count` words in the compiler's default convention,
// which is that of the stand-ins; false when count exceeds MAX_DLL_ARGUMENTS.
bool CallWithWords(const void* function, uint32_t count, const uintptr_t* a, uintptr_t* result) {
  void* f = const_cast<void*>(function);  // function addresses are never const data
  switch (count) {
    case 0: *result = reinterpret_cast<W (*)()>(f)(); return true;
    case 1: *result = reinterpret_cast<W (*)(W)>(f)(a[0]); return true;
    case 2: *result = reinterpret_cast<W (*)(W, W)>(f)(a[0], a[1]); return true;
    case 3: *result = reinterpret_cast<W (*)(W, W, W)>(f)(a[0], a[1], a[2]); return true;
    case 4: *result = reinterpret_cast<W (*)(W, W, W, W)>(f)(a[0], a[1], a[2], a[3]); return true;
    case 5:
      *result = reinterpret_cast<W (*)(W, W, W, W, W)>(f)(a[0], a[1], a[2], a[3], a[4]);
      return true;
    case 6:
      *result = reinterpret_cast<W (*)(W, W, W, W, W, W)>(f)(a[0], a[1], a[2], a[3], a[4], a[5]);
      return true;
    case 7:
      *result =
          reinterpret_cast<W (*)(W, W, W, W, W, W, W)>(f)(a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
      return true;
    case 8:
      *result = reinterpret_cast<W (*)(W, W, W, W, W, W, W, W)>(f)(a[0], a[1], a[2], a[3], a[4],
                                                                   a[5], a[6], a[7]);
      return true;
    case 9:
      *result = reinterpret_cast<W (*)(W, W, W, W, W, W, W, W, W)>(f)(a[0], a[1], a[2], a[3], a[4],
                                                                      a[5], a[6], a[7], a[8]);
      return true;
    case 10:
      *result = reinterpret_cast<W (*)(W, W, W, W, W, W, W, W, W, W)>(f)(
          a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]);
      return true;
    case 11:
      *result = reinterpret_cast<W (*)(W, W, W, W, W, W, W, W, W, W, W)>(f)(
          a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10]);
      return true;
    case 12:
      *result = reinterpret_cast<W (*)(W, W, W, W, W, W, W, W, W, W, W, W)>(f)(
          a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11]);
      return true;
    default: return false;
  }
}

}  // namespace

const DllExport* ResolveDllFunction(const std::string& dll, const std::string& function) {
  size_t count = 0;
  const DllExport* exports = PlatformDllExports(&count);
  std::string base = DllBaseName(dll);
  for (size_t i = 0; i < count; ++i) {
    if (function != exports[i].function) continue;
    if (base.empty() || base == exports[i].dll) return &exports[i];
  }
  return nullptr;
}

DllCallOutcome CallDllWords(const DllExport& target, uint32_t count, const uintptr_t* args,
                            uintptr_t* result) {
  if (count != target.words) return DllCallOutcome::kWrongWordCount;
  if (!CallWithWords(target.address, count, args, result)) return DllCallOutcome::kTooManyWords;
  return DllCallOutcome::kDone;
}

}  // namespace tulora::rt
