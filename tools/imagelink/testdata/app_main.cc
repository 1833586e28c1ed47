// A test application that uses every kind of field the image linker
// handles: service slots (called and taken as addresses), texts, the empty
// text, a double constant, globals (by RIP-relative and absolute address),
// routine addresses, declared DLL functions, a library row and a library
// data type. The entry routine reports what it sees through the services,
// so a test that loads the image can check every field.
#include "image/dll_table.h"
#include "image/link_symbols.h"
#include "image/services.h"

namespace {

int32_t counter;  // var
double scale;     // var

TULORA_CALL void Finish() { counter = -1; }
TULORA_CALL void Thread() { counter += 10; }

}  // namespace

extern "C" __attribute__((noinline)) uint32_t TestPickEntry(int which) {
  return which ? TULORA_DLL_ENTRY(HttpSendRequestA_Body) : TULORA_DLL_ENTRY(HttpSendRequestA);
}

extern "C" __attribute__((noinline)) const char* TestText(int which) {
  if (which == 0) return "";
  if (which == 1) return "hello";
  if (which == 3) return tulora_empty_text;
  return "hello, world";
}

extern "C" __attribute__((noinline)) double TestScale(double x) { return x * 1.25 + scale; }

// Absolute 32-bit addresses of a global and of a service slot.
extern "C" __attribute__((noinline)) uint32_t TestCounterAddress() {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&counter));
}
extern "C" __attribute__((noinline)) uint32_t TestSlotAddress() {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&tulora_services.FinishMain));
}

extern "C" TULORA_CALL void TuloraEntry() {
  tulora_services.ProgramControl(tulora::CONTROL_RELEASE_GLOBALS,
                                 reinterpret_cast<uintptr_t>(&Finish), 0);
  uintptr_t args[1] = {reinterpret_cast<uintptr_t>(TestText(1))};
  tulora_services.CallDllFunction(TULORA_DLL_ENTRY(CoInitialize), 1, args);
  tulora_services.CallDllFunction(TestPickEntry(1), 0, args);
  tulora_services.CallDllFunction(TestPickEntry(0), 0, args);

  uint64_t bits = __builtin_bit_cast(uint64_t, TestScale(2.0));
  uintptr_t empty = reinterpret_cast<uintptr_t>(TestText(0));
  uintptr_t routine = reinterpret_cast<uintptr_t>(&Thread);
  uintptr_t longer = reinterpret_cast<uintptr_t>(TestText(2));
  struct {
    uint32_t count;
    tulora::ArgumentRecord r[6];
  } list = {
      6,
      {{static_cast<uint32_t>(routine), static_cast<uint32_t>(uint64_t{routine} >> 32),
        tulora::TYPE_ROUTINE},
       {0, 0, TULORA_TYPE(LIB_VARIANT)},
       {static_cast<uint32_t>(empty), static_cast<uint32_t>(uint64_t{empty} >> 32),
        tulora::TYPE_TEXT},
       {TestCounterAddress(), 0, tulora::TYPE_INT | tulora::TYPE_BYREF},
       {TestSlotAddress(), 0, TULORA_TYPE(LIB_OBJECT)},
       {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32), tulora::TYPE_DOUBLE}}};
  tulora_services.CallLibraryCommand(TULORA_LIBRARY(THREAD), 1,
                                     reinterpret_cast<tulora::ArgumentList*>(&list));
  list.count = 1;
  list.r[0] = {static_cast<uint32_t>(longer), static_cast<uint32_t>(uint64_t{longer} >> 32),
               tulora::TYPE_TEXT};
  tulora_services.CallKernelCommand(1, reinterpret_cast<tulora::ArgumentList*>(&list));
  uintptr_t reserved = reinterpret_cast<uintptr_t>(TestText(3));
  list.r[0].value = static_cast<uint32_t>(reserved);
  list.r[0].high = static_cast<uint32_t>(uint64_t{reserved} >> 32);
  tulora_services.CallKernelCommand(2, reinterpret_cast<tulora::ArgumentList*>(&list));
  scale = 1;
  tulora_services.FinishMain();
  tulora_services.ExitProgram(counter);
}
