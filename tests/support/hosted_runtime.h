// An in-process stand-in for the runtime, for unit tests of application
// code. It defines `tulora_services`:
// - Allocate/Reallocate/Release over malloc, counting live blocks so a test
//   can assert that nothing leaked;
// - CallKernelCommand: the text and number commands (RunTextCommand);
// - CallDllFunction: entries 2 (MultiByteToWideChar) and 3
//   (WideCharToMultiByte) run the code page functions;
// - ReportRuntimeError, ExitProgram and every call nobody handles print a
//   message naming the call and abort the process.
// Tests of other layers can plug in their own kernel commands, library
// commands and DLL functions with the hooks below; a hook that returns false
// leaves the call to the defaults.
#ifndef TULORA_TESTS_SUPPORT_HOSTED_RUNTIME_H
#define TULORA_TESTS_SUPPORT_HOSTED_RUNTIME_H

#include <stdint.h>

#include <string>

#include "image/services.h"

namespace tulora::hosted {

// Blocks allocated through tulora_services and not yet released.
int64_t LiveBlocks();

// Hooks; pass null to remove one.
using KernelHook = bool (*)(uint32_t command, ArgumentList* args, CommandResult* result);
using LibraryHook = bool (*)(uint32_t library, uint32_t command, ArgumentList* args,
                             CommandResult* result);
using DllHook = bool (*)(uint32_t entry, uint32_t count, const uintptr_t* args, uintptr_t* result);
void SetKernelHook(KernelHook hook);
void SetLibraryHook(LibraryHook hook);
void SetDllHook(DllHook hook);

// The GBK bytes of a UTF-8 string (through the code page functions), for
// writing Chinese test texts in readable form.
std::string Gbk(const std::string& utf8);
// The UTF-8 form of GBK bytes, for readable failure messages.
std::string Utf8(const std::string& gbk);

// The text of a block the code under test returned, the block released. A
// null block aborts the test program, naming the fault.
std::string TakeText(char* text);

}  // namespace tulora::hosted

#endif  // TULORA_TESTS_SUPPORT_HOSTED_RUNTIME_H
