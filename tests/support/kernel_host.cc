#include "tests/support/kernel_host.h"

#include <utility>

#include "image/services.h"
#include "runtime/kernel/dll_calls.h"
#include "runtime/kernel/image_loader.h"
#include "runtime/kernel/kernel_services.h"
#include "runtime/kernel/platform.h"
#include "runtime/kernel/platform_winapi.h"

tulora::ServiceTable tulora_services = {};

namespace tulora::test {
namespace {

TULORA_CALL uintptr_t CallDll(uint32_t entry, uint32_t count, const uintptr_t* args) {
  return rt::KernelServiceTable().CallDllFunction(rt::DLL_SELECTOR_TAG | entry, count, args);
}

TULORA_CALL CommandResult CallLibrary(uint32_t row, uint32_t command, ArgumentList* args) {
  return rt::KernelServiceTable().CallLibraryCommand(rt::LIBRARY_SELECTOR_TAG | row, command, args);
}

}  // namespace

bool BindHostedApplicationToKernel(const std::string& runtimeDirectory, std::string* error) {
  rt::ProgramBindings bindings;
#define TULORA_DLL_ROW(id, entry, dll, function)                          \
  bindings.dllFunctions.push_back(rt::ResolveDllFunction(dll, function)); \
  if (bindings.dllFunctions.back() == nullptr) {                          \
    *error = std::string("no DLL function ") + function;                  \
    return false;                                                         \
  }
#include "image/dll_table.def"
  bindings.libraries.push_back(nullptr);  // row 0: the kernel itself
  for (const char* name : {"VThread", "xtra"}) {
    bindings.libraries.push_back(rt::LoadSupportLibrary(runtimeDirectory, name, *error));
    if (bindings.libraries.back() == nullptr) return false;
  }
  rt::BindProgram(std::move(bindings));
  rt::RegisterPlatformObjects();
  tulora_services = rt::KernelServiceTable();
  tulora_services.CallDllFunction = CallDll;
  tulora_services.CallLibraryCommand = CallLibrary;
  return true;
}

}  // namespace tulora::test
