#include "runtime/kernel/kernel_services.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/base/argument_view.h"
#include "runtime/kernel/file_commands.h"
#include "runtime/kernel/image_loader.h"
#include "runtime/kernel/kernel_commands.h"
#include "runtime/kernel/process_end.h"
#include "runtime/memory/heap.h"

namespace tulora::rt {
namespace {

ProgramBindings g_bindings;
std::atomic<ApplicationRoutine> g_releaseGlobals{nullptr};
std::atomic<int> g_liveThreads{0};
std::atomic<bool> g_mainFinished{false};

const char* RuntimeErrorText(int32_t code) {
  switch (code) {
    case ERROR_INDEX_ABOVE: return "array index above the element count";
    case ERROR_INDEX_BELOW_ONE: return "array index below 1";
    case ERROR_DLL_STACK: return "a DLL function did not restore the stack";
    case ERROR_BRANCH_SELECTOR: return "selector outside a multi-way branch";
    default: return "unknown runtime error";
  }
}

void FlushConsole() {
  fflush(stdout);
  fflush(stderr);
}

TULORA_CALL void ReportRuntimeError(int32_t code, uint32_t routine, uint32_t position) {
  EndWithError("runtime error %d (%s) in routine 0x%x at position %u", code, RuntimeErrorText(code),
               routine, position);
}

// Selector of a fixed-up field: the tag must be present and the index in range.
bool SelectorIndex(uint32_t selector, uint32_t tag, size_t count, uint32_t* index) {
  *index = selector & SELECTOR_INDEX_MASK;
  return (selector & SELECTOR_TAG_MASK) == tag && *index < count;
}

TULORA_CALL uintptr_t CallDllFunction(uint32_t entry, uint32_t count, const uintptr_t* args) {
  uint32_t index;
  if (!SelectorIndex(entry, DLL_SELECTOR_TAG, g_bindings.dllFunctions.size(), &index)) {
    EndWithError("DLL function selector 0x%x names no declared DLL function", entry);
  }
  const DllExport* target = g_bindings.dllFunctions[index];
  uintptr_t result = 0;
  switch (CallDllWords(*target, count, args, &result)) {
    case DllCallOutcome::kDone: return result;
    case DllCallOutcome::kWrongWordCount: {  // where the platform knows the count, it says so
      char expected[32] = "";
      if (target->words != 0) snprintf(expected, sizeof expected, " instead of %u", target->words);
      EndWithError("runtime error %d (%s): DLL function %s called with %u argument words%s",
                   ERROR_DLL_STACK, RuntimeErrorText(ERROR_DLL_STACK), target->function, count,
                   expected);
    }
    case DllCallOutcome::kTooManyWords: break;
  }
  EndWithError("DLL function %s called with %u arguments, more than a call can take",
               target->function, count);
}

TULORA_CALL CommandResult CallLibraryCommand(uint32_t library, uint32_t command,
                                             ArgumentList* args) {
  uint32_t row;
  if (!SelectorIndex(library, LIBRARY_SELECTOR_TAG, g_bindings.libraries.size(), &row)) {
    EndWithError("library selector 0x%x names no library of the program", library);
  }
  if (row == 0) return RunKernelCommand(command, args);
  return g_bindings.libraries[row](KernelLibraryHost(), command, args);
}

TULORA_CALL CommandResult CallKernelCommand(uint32_t command, ArgumentList* args) {
  return RunKernelCommand(command, args);
}

TULORA_CALL void* Allocate(uint32_t size) { return AllocateBlock(size); }

TULORA_CALL void* Reallocate(void* block, uint32_t size) {
  void* resized = ResizeHeapBlock(block, size);
  if (resized == nullptr) EndWithError("out of memory (%u bytes requested)", size);
  return resized;
}

TULORA_CALL void Release(void* block) { ReleaseBlock(block); }

// Runs ReleaseGlobals once, but only when no application thread can still
// use the globals; with a thread still running, the process ends without it
// (its memory goes back to the system with the process) and without running
// the process's exit handlers, which could pull state from under that thread.
// A file the crawl is still writing is given up: its temporary file goes.
TULORA_CALL void ExitProgram(int32_t code) {
  FlushConsole();
  if (g_liveThreads.load() > 0) {
    AbandonUnfinishedWrites();
    EndProcessAtOnce(code);
  }
  ApplicationRoutine release = g_releaseGlobals.exchange(nullptr);
  if (release != nullptr) release();
  FlushConsole();
  exit(code);
}

// The console is written unbuffered; the after-main call only makes sure
// nothing of the standard streams is left behind.
TULORA_CALL void FinishMain(void) {
  g_mainFinished.store(true);
  FlushConsole();
}

// Selector 2: a new empty array (one dimension of size 0) for the variable
// at `b`; the variable's earlier content is not looked at. Selector 3:
// remembers `a` as the routine that releases the program's globals.
// Other selectors do nothing and give 0.
TULORA_CALL uintptr_t ProgramControl(uint32_t selector, uintptr_t a, uintptr_t b) {
  if (selector == CONTROL_RELEASE_GLOBALS) {
    g_releaseGlobals.store(reinterpret_cast<ApplicationRoutine>(a));
    return 0;
  }
  if (selector == CONTROL_NEW_ARRAY) {
    if (a == 0 || b == 0) EndWithError("new array: element size %zu, variable %#zx", a, b);
    uint32_t* block = static_cast<uint32_t*>(AllocateBlock(8));
    block[0] = 1;
    block[1] = 0;
    std::memcpy(reinterpret_cast<void*>(b), &block, sizeof block);
    return reinterpret_cast<uintptr_t>(block);
  }
  return 0;
}

void ThreadBegins() { g_liveThreads.fetch_add(1); }
void ThreadEnds() { g_liveThreads.fetch_sub(1); }

const ServiceTable kTable = {
    ReportRuntimeError, CallDllFunction, CallLibraryCommand,
    CallKernelCommand,  nullptr,         nullptr,
    Allocate,           Reallocate,      Release,
    ExitProgram,        FinishMain,      nullptr,
    ProgramControl,
};

const LibraryHost kHost = {sizeof(LibraryHost), &kTable, ThreadBegins, ThreadEnds};

}  // namespace

const ServiceTable& KernelServiceTable() { return kTable; }
const LibraryHost* KernelLibraryHost() { return &kHost; }

void BindProgram(ProgramBindings bindings) { g_bindings = std::move(bindings); }

int LiveApplicationThreads() { return g_liveThreads.load(); }

void* AllocateBlock(uint32_t size) {
  void* block = AllocateHeapBlock(size);
  if (block == nullptr) EndWithError("out of memory (%u bytes requested)", size);
  return block;
}

void ReleaseBlock(void* block) { ReleaseHeapBlock(block); }

void EndWithError(const char* format, ...) {
  fflush(stdout);
  char message[512];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  fprintf(stderr, "Error: %s\n", message);
  fflush(stderr);
  AbandonUnfinishedWrites();
  EndProcessAtOnce(1);
}

}  // namespace tulora::rt
