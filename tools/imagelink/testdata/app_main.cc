// A test application that uses every kind of field the image linker
// handles: service slots, texts, a double, globals, routine addresses,
// declared DLL functions, library rows and library data types.
#include "image/dll_table.h"
#include "image/link_symbols.h"
#include "image/services.h"

namespace {

int32_t counter;          // var
const char* lastText;     // var
double scale = 0;         // var (zero-initialised)

TULORA_CALL void Finish() { counter = -1; }
TULORA_CALL void Thread() { ++counter; }

}  // namespace

extern "C" uint32_t TestPickEntry(int which);
extern "C" __attribute__((noinline)) uint32_t TestPickEntry(int which) {
  return which ? TULORA_DLL_ENTRY(HttpSendRequestA_Body) : TULORA_DLL_ENTRY(HttpSendRequestA);
}

extern "C" __attribute__((noinline)) const char* TestText(int which) {
  if (which == 0) return "";
  if (which == 1) return "hello";
  return "hello, world";
}

extern "C" __attribute__((noinline)) double TestScale(double x) { return x * 1.25 + scale; }

extern "C" TULORA_CALL void TuloraEntry() {
  tulora_services.ProgramControl(tulora::CONTROL_RELEASE_GLOBALS,
                                 reinterpret_cast<uintptr_t>(&Finish), 0);
  uintptr_t args[2] = {reinterpret_cast<uintptr_t>(TestText(1)), 0};
  counter += static_cast<int32_t>(
      tulora_services.CallDllFunction(TULORA_DLL_ENTRY(CoInitialize), 1, args));
  counter += static_cast<int32_t>(TestPickEntry(counter));
  tulora::ArgumentRecord records[2] = {
      {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&Thread)), 0, tulora::TYPE_ROUTINE},
      {0, 0, TULORA_TYPE(LIB_VARIANT)}};
  records[1].type |= TULORA_TYPE(LIB_OBJECT) & 0;
  struct {
    uint32_t count;
    tulora::ArgumentRecord r[2];
  } list = {2, {records[0], records[1]}};
  tulora_services.CallLibraryCommand(TULORA_LIBRARY(THREAD), 1,
                                     reinterpret_cast<tulora::ArgumentList*>(&list));
  lastText = TestText(counter);
  scale = TestScale(static_cast<double>(counter));
  tulora_services.FinishMain();
  tulora_services.ExitProgram(0);
}
