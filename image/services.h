// The runtime's service table as the application calls it, and the argument
// records of library commands.
//
// This header is shared by the application (compiled freestanding into the
// program image, and hosted into the unit tests) and by the runtime that
// implements the table. It uses nothing beyond <stdint.h>/<stddef.h>.
//
// Calling convention: every function that crosses the image boundary uses
// TULORA_CALL (cdecl on i386, the System V convention on x86-64), so one
// x86-64 image serves a Linux and a Windows runtime alike.
#ifndef TULORA_IMAGE_SERVICES_H
#define TULORA_IMAGE_SERVICES_H

#include <stddef.h>
#include <stdint.h>

#if defined(__x86_64__)
#define TULORA_CALL __attribute__((sysv_abi))
#elif defined(__i386__)
#define TULORA_CALL __attribute__((cdecl))
#else
#define TULORA_CALL
#endif

namespace tulora {

// Type codes of ArgumentRecord::type.
enum TypeCode : uint32_t {
  TYPE_BOOL = 0x80000002u,         // value: 0 or 1
  TYPE_TEXT = 0x80000004u,         // value: address of a NUL-terminated GBK text
  TYPE_BYTES = 0x80000005u,        // value: address of a byte set
  TYPE_ROUTINE = 0x80000006u,      // value: address of an application routine
  TYPE_BYTE = 0x80000101u,         // value: 0..255
  TYPE_INT = 0x80000301u,          // value: signed 32-bit integer
  TYPE_DOUBLE = 0x80000601u,       // value: low half, high: high half
  TYPE_LIB_OBJECT = 0x00010030u,   // library data type: value block address
  TYPE_LIB_VARIANT = 0x00010031u,  // library data type: value block address
  TYPE_BYREF = 0x20000000u,        // added: address of the caller's variable
};

// One argument of a library command: three 32-bit words. On x86-64 a
// pointer or 64-bit value keeps its low half in `value` and its high half in
// `high`, the way a double does; on i386 `high` is 0 except for doubles.
struct ArgumentRecord {
  uint32_t value;
  uint32_t high;
  uint32_t type;
};
static_assert(sizeof(ArgumentRecord) == 12, "three 32-bit words");

// Argument list: a 32-bit count followed by that many records. An omitted
// optional argument is three zero words.
struct ArgumentList {
  uint32_t count;
  ArgumentRecord records[1];  // `count` records, laid out back to back
};

// A command's result: a 32-bit value, a pointer (texts, byte sets, arrays)
// or the bits of a double, zero-extended to 64 bits.
typedef uint64_t CommandResult;

// A routine of the application handed to the runtime as a value.
typedef void(TULORA_CALL* ApplicationRoutine)(void);

// Runtime error codes for ReportRuntimeError.
enum RuntimeErrorCode : int32_t {
  ERROR_INDEX_ABOVE = 1,      // array index above the element count
  ERROR_INDEX_BELOW_ONE = 4,  // array index below 1
  ERROR_DLL_STACK = 6,        // a DLL function did not restore the stack
  ERROR_BRANCH_SELECTOR = 9,  // selector outside a multi-way branch
};

// ProgramControl selectors.
enum ProgramControlSelector : uint32_t {
  CONTROL_NEW_ARRAY = 2,        // a: element size (4), b: address of an array variable
  CONTROL_RELEASE_GLOBALS = 3,  // a: routine the runtime calls at program end
};

// The service table. Slots are pointer-sized and in this order; on i386 the
// byte offsets are 0x00 to 0x30, on x86-64 twice that.
struct ServiceTable {
  // 0x00: no return.
  void(TULORA_CALL* ReportRuntimeError)(int32_t code, uint32_t routine, uint32_t position);
  // 0x04: calls DllFunctionTable entry `entry` with `count` word arguments.
  uintptr_t(TULORA_CALL* CallDllFunction)(uint32_t entry, uint32_t count, const uintptr_t* args);
  // 0x08: a command of the support library in LibraryTable row `library`.
  CommandResult(TULORA_CALL* CallLibraryCommand)(uint32_t library, uint32_t command,
                                                 ArgumentList* args);
  // 0x0c: a command of the kernel library.
  CommandResult(TULORA_CALL* CallKernelCommand)(uint32_t command, ArgumentList* args);
  void* unused10;
  void* unused14;
  // 0x18: a new block, never null.
  void*(TULORA_CALL* Allocate)(uint32_t size);
  // 0x1c: the resized block, contents kept.
  void*(TULORA_CALL* Reallocate)(void* block, uint32_t size);
  // 0x20: accepts null.
  void(TULORA_CALL* Release)(void* block);
  // 0x24: no return.
  void(TULORA_CALL* ExitProgram)(int32_t code);
  // 0x28: once, after the main routine.
  void(TULORA_CALL* FinishMain)(void);
  void* unused2c;
  // 0x30: see ProgramControlSelector.
  uintptr_t(TULORA_CALL* ProgramControl)(uint32_t selector, uintptr_t a, uintptr_t b);
};

static_assert(offsetof(ServiceTable, ProgramControl) == 12 * sizeof(void*), "slot layout");

}  // namespace tulora

// The table the application calls. In the program image this is a reserved
// undefined symbol whose references the image linker turns into service
// table relocations; in hosted builds the test runtime defines it.
extern "C" tulora::ServiceTable tulora_services;

#endif  // TULORA_IMAGE_SERVICES_H
