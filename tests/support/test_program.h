// Program images for the kernel's tests: real x86-64 machine code (System V
// convention) assembled here, with the relocations and link fix-ups an image
// linker would produce, so that loading and running can be checked without
// the rest of the build.
#ifndef TULORA_TESTS_SUPPORT_TEST_PROGRAM_H
#define TULORA_TESTS_SUPPORT_TEST_PROGRAM_H

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "image/image_format.h"

namespace tulora::rt::test {

// Const offsets of what the test program keeps there.
inline constexpr uint32_t CONST_WORD = 0;        // u32 0x11223344
inline constexpr uint32_t CONST_EMPTY_TEXT = 8;  // ""
inline constexpr uint32_t CONST_WORD2 = 12;      // u32 0x55667788
inline constexpr uint32_t CONST_GREETING = 16;   // GBK "中文 ok\r\n"
inline constexpr uint32_t CONST_RELEASED = 32;   // "released\r\n"
inline constexpr uint32_t VAR_SIZE = 64;
inline constexpr uint32_t VAR_STORED = 8;   // written by StoreVar
inline constexpr uint32_t VAR_THREAD = 16;  // written by the thread routine

// Slot offsets of the x86-64 service table.
inline constexpr uint32_t SLOT_REPORT_ERROR = 0x00;
inline constexpr uint32_t SLOT_CALL_DLL = 0x08;
inline constexpr uint32_t SLOT_CALL_LIBRARY = 0x10;
inline constexpr uint32_t SLOT_CALL_KERNEL = 0x18;
inline constexpr uint32_t SLOT_ALLOCATE = 0x30;
inline constexpr uint32_t SLOT_EXIT = 0x48;
inline constexpr uint32_t SLOT_FINISH_MAIN = 0x50;
inline constexpr uint32_t SLOT_PROGRAM_CONTROL = 0x60;

// Routines of the test program (code offsets in `routines`):
//   ReadConstAbs() -> u32 at CONST_WORD through an absolute field (kind 1)
//   ReadConstRip() -> u32 at CONST_WORD2 through a RIP-relative field (kind 5)
//   StoreVar(u32 v) -> stores v at VAR_STORED (kind 2), reads it back (kind 6)
//   CodeAddress() -> address of ThreadRoutine (kind 3)
//   AllocateAbs(), AllocateRip() -> Allocate(24) through kinds 0 and 4
//   CallDll(const uintptr_t* words) -> CallDllFunction(entry 2, 6, words)
//       (group 1 field)
//   CallPause(ArgumentList*) -> CallLibraryCommand(row 2, 1, list) (group 2)
//   StartThread() -> starts ThreadRoutine through VThread (row 1); the
//       routine stores 0x5A5A at VAR_THREAD
//   TypeObject(), TypeVariantRef() -> group 3 fields holding 0x00010030 and
//       0x20010031
//   RaiseError(int code) -> ReportRuntimeError(code, 0x1234, 7)
//   Entry: ProgramControl(3, ReleaseGlobals), console write of
//       CONST_GREETING, FinishMain, ExitProgram(0); ReleaseGlobals writes
//       CONST_RELEASED.
struct TestProgram {
  image::ProgramImage image;
  std::map<std::string, uint32_t> routines;
  // Code offsets of every field, by relocation kind / fix-up group, with the
  // value the image stores there.
  struct Field {
    uint32_t offset;
    uint32_t stored;
  };
  std::map<uint32_t, std::vector<Field>> relocated;  // by kind
  std::map<size_t, std::vector<Field>> fixedUp;      // by group
};

TestProgram MakeTestProgram();

// Appends a text to the const segment and returns its const offset (to give
// a DLL table entry another name).
uint32_t AddConstText(TestProgram& program, const char* text);

}  // namespace tulora::rt::test

#endif  // TULORA_TESTS_SUPPORT_TEST_PROGRAM_H
