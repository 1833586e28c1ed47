// The hosted test runtime. See hosted_runtime.h.
#include "tests/support/hosted_runtime.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "image/dll_table.h"
#include "runtime/text/codepage.h"
#include "runtime/text/text_commands.h"

namespace tulora::hosted {
namespace {

std::atomic<int64_t> g_live{0};
std::atomic<KernelHook> g_kernelHook{nullptr};
std::atomic<LibraryHook> g_libraryHook{nullptr};
std::atomic<DllHook> g_dllHook{nullptr};

[[noreturn]] void Fail(const char* what, uint32_t a, uint32_t b) {
  std::fprintf(stderr, "hosted runtime: %s (%u, %u)\n", what, a, b);
  std::fflush(stderr);
  std::abort();
}

void* TULORA_CALL Allocate(uint32_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) Fail("out of memory", size, 0);
  ++g_live;
  return block;
}

void* TULORA_CALL Reallocate(void* block, uint32_t size) {
  if (block == nullptr) return Allocate(size);
  void* grown = std::realloc(block, size == 0 ? 1 : size);
  if (grown == nullptr) Fail("out of memory", size, 0);
  return grown;
}

void TULORA_CALL Release(void* block) {
  if (block == nullptr) return;
  --g_live;
  std::free(block);
}

void* AllocateForCommands(uint32_t size) { return Allocate(size); }
void ReleaseForCommands(void* block) { Release(block); }

void TULORA_CALL ReportRuntimeError(int32_t code, uint32_t routine, uint32_t position) {
  std::fprintf(stderr, "hosted runtime: runtime error %d in routine %u at %u\n", code, routine,
               position);
  std::fflush(stderr);
  std::abort();
}

int Int(uintptr_t word) { return static_cast<int32_t>(static_cast<uint32_t>(word)); }

bool DefaultDll(uint32_t entry, uint32_t count, const uintptr_t* a, uintptr_t* result) {
  if (entry == DLL_ENTRY_MultiByteToWideChar && count == 6) {
    *result = static_cast<uint32_t>(
        CpMultiByteToWideChar(static_cast<uint32_t>(a[0]), static_cast<uint32_t>(a[1]),
                              reinterpret_cast<const char*>(a[2]), Int(a[3]),
                              reinterpret_cast<uint16_t*>(a[4]), Int(a[5])));
    return true;
  }
  if (entry == DLL_ENTRY_WideCharToMultiByte && count == 8) {
    *result = static_cast<uint32_t>(CpWideCharToMultiByte(
        static_cast<uint32_t>(a[0]), static_cast<uint32_t>(a[1]),
        reinterpret_cast<const uint16_t*>(a[2]), Int(a[3]), reinterpret_cast<char*>(a[4]),
        Int(a[5]), reinterpret_cast<const char*>(a[6]), reinterpret_cast<int32_t*>(a[7])));
    return true;
  }
  return false;
}

uintptr_t TULORA_CALL CallDllFunction(uint32_t entry, uint32_t count, const uintptr_t* args) {
  uintptr_t result = 0;
  DllHook hook = g_dllHook.load();
  if (hook != nullptr && hook(entry, count, args, &result)) return result;
  if (DefaultDll(entry, count, args, &result)) return result;
  Fail("no DLL function for entry/argument count", entry, count);
}

CommandResult TULORA_CALL CallKernelCommand(uint32_t command, ArgumentList* args) {
  CommandResult result = 0;
  KernelHook hook = g_kernelHook.load();
  if (hook != nullptr && hook(command, args, &result)) return result;
  static const TextCommandAllocator allocator{AllocateForCommands, ReleaseForCommands};
  if (RunTextCommand(command, args, &result, allocator)) return result;
  Fail("kernel command not available", command, args != nullptr ? args->count : 0);
}

CommandResult TULORA_CALL CallLibraryCommand(uint32_t library, uint32_t command,
                                             ArgumentList* args) {
  CommandResult result = 0;
  LibraryHook hook = g_libraryHook.load();
  if (hook != nullptr && hook(library, command, args, &result)) return result;
  Fail("library command not available (library, command)", library, command);
}

void TULORA_CALL ExitProgram(int32_t code) {
  Fail("ExitProgram called", static_cast<uint32_t>(code), 0);
}

void TULORA_CALL FinishMain() {}

uintptr_t TULORA_CALL ProgramControl(uint32_t selector, uintptr_t a, uintptr_t b) {
  if (selector == CONTROL_NEW_ARRAY) {
    // An empty one-dimensional array block; the caller reshapes it.
    uint32_t* block = static_cast<uint32_t*>(Allocate(8));
    block[0] = 1;
    block[1] = 0;
    *reinterpret_cast<void**>(b) = block;
    return 0;
  }
  if (selector == CONTROL_RELEASE_GLOBALS) return 0;
  Fail("ProgramControl selector not available", selector, static_cast<uint32_t>(a));
}

std::string Convert(const std::string& in, uint32_t from, uint32_t to) {
  if (in.empty()) return {};
  int units = CpMultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
  std::vector<uint16_t> wide(static_cast<size_t>(units));
  CpMultiByteToWideChar(from, 0, in.data(), static_cast<int>(in.size()), wide.data(), units);
  int bytes = CpWideCharToMultiByte(to, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  CpWideCharToMultiByte(to, 0, wide.data(), units, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace

int64_t LiveBlocks() { return g_live.load(); }
void SetKernelHook(KernelHook hook) { g_kernelHook = hook; }
void SetLibraryHook(LibraryHook hook) { g_libraryHook = hook; }
void SetDllHook(DllHook hook) { g_dllHook = hook; }

std::string Gbk(const std::string& utf8) { return Convert(utf8, CP_UTF8_PAGE, CP_GBK); }
std::string Utf8(const std::string& gbk) { return Convert(gbk, CP_GBK, CP_UTF8_PAGE); }

std::string TakeText(char* text) {
  if (text == nullptr) {
    std::fprintf(stderr, "hosted runtime: a text expected, null returned\n");
    std::abort();
  }
  std::string s = text;
  tulora_services.Release(text);
  return s;
}

}  // namespace tulora::hosted

extern "C" {
tulora::ServiceTable tulora_services = {
    tulora::hosted::ReportRuntimeError,
    tulora::hosted::CallDllFunction,
    tulora::hosted::CallLibraryCommand,
    tulora::hosted::CallKernelCommand,
    nullptr,
    nullptr,
    tulora::hosted::Allocate,
    tulora::hosted::Reallocate,
    tulora::hosted::Release,
    tulora::hosted::ExitProgram,
    tulora::hosted::FinishMain,
    nullptr,
    tulora::hosted::ProgramControl,
};
}  // extern "C"
