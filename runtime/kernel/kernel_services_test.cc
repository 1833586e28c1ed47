#include "runtime/kernel/kernel_services.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "image/commands.h"
#include "runtime/kernel/image_loader.h"
#include "tests/support/test_platform.h"

namespace tulora::rt {
namespace {

const ServiceTable& S() { return KernelServiceTable(); }

TEST(KernelServices, AllocateReallocateReleaseKeepContents) {
  char* block = static_cast<char*>(S().Allocate(0));  // a zero-size request still gives a block
  ASSERT_NE(block, nullptr);
  block = static_cast<char*>(S().Reallocate(block, 6));
  std::memcpy(block, "abcde", 6);
  block = static_cast<char*>(S().Reallocate(block, 4096));
  EXPECT_STREQ(block, "abcde");
  S().Release(block);
  S().Release(nullptr);  // accepted
}

TEST(KernelServices, NewArrayIsAnEmptyOneDimensionalBlock) {
  uint32_t* variable = nullptr;
  uintptr_t result =
      S().ProgramControl(CONTROL_NEW_ARRAY, 4, reinterpret_cast<uintptr_t>(&variable));
  ASSERT_NE(variable, nullptr);
  EXPECT_EQ(result, reinterpret_cast<uintptr_t>(variable));
  EXPECT_EQ(variable[0], 1u);
  EXPECT_EQ(variable[1], 0u);
  variable = static_cast<uint32_t*>(S().Reallocate(variable, 16));  // the caller grows it
  S().Release(variable);
}

TEST(KernelServices, UnknownControlSelectorDoesNothing) {
  EXPECT_EQ(S().ProgramControl(7, 1, 2), 0u);
}

// Each error code ends the program with its own message and exit code 1.
TEST(KernelServicesDeathTest, RuntimeErrorsEndTheProgramWithTheirMessage) {
  struct Row {
    int32_t code;
    const char* message;
  } rows[] = {
      {ERROR_INDEX_ABOVE, "Error: runtime error 1 \\(array index above the element count\\)"},
      {ERROR_INDEX_BELOW_ONE, "Error: runtime error 4 \\(array index below 1\\)"},
      {ERROR_DLL_STACK, "Error: runtime error 6 \\(a DLL function did not restore the stack\\)"},
      {ERROR_BRANCH_SELECTOR, "Error: runtime error 9 \\(selector outside a multi-way branch\\)"},
      {2, "Error: runtime error 2 \\(unknown runtime error\\) in routine 0x1234 at position 7"},
  };
  for (const Row& row : rows) {
    EXPECT_EXIT(S().ReportRuntimeError(row.code, 0x1234, 7), ::testing::ExitedWithCode(1),
                row.message);
  }
}

int g_released = 0;
TULORA_CALL void CountRelease() {
  ++g_released;
  std::fprintf(stderr, "released %d\n", g_released);
}

TEST(KernelServicesDeathTest, ExitRunsReleaseGlobalsOnceAndExitsWithTheCode) {
  EXPECT_EXIT(
      {
        S().ProgramControl(CONTROL_RELEASE_GLOBALS, reinterpret_cast<uintptr_t>(&CountRelease), 0);
        S().FinishMain();
        S().ExitProgram(3);
      },
      ::testing::ExitedWithCode(3), "^released 1\n$");
  EXPECT_EXIT(S().ExitProgram(0), ::testing::ExitedWithCode(0), "^$");
}

TEST(KernelServicesDeathTest, SelectorsThatEscapedTheFixupsEndTheProgram) {
  uintptr_t words[1] = {0};
  EXPECT_EXIT(S().CallDllFunction(2, 6, words), ::testing::ExitedWithCode(1),
              "Error: DLL function selector 0x2 names no declared DLL function");
  EXPECT_EXIT(S().CallLibraryCommand(LIBRARY_SELECTOR_TAG | 1, 1, nullptr),
              ::testing::ExitedWithCode(1), "Error: library selector 0x7b000001");
  EXPECT_EXIT(S().CallKernelCommand(999, nullptr), ::testing::ExitedWithCode(1),
              "Error: the kernel library has no command 999");
}

// AddressSanitizer's allocator reports huge requests itself, so this runs
// only in plain builds; the child limits its address space so that the
// request cannot be granted.
#if !defined(__SANITIZE_ADDRESS__)
TEST(KernelServicesDeathTest, OutOfMemoryEndsTheProgram) {
  EXPECT_EXIT(
      {
        test_platform::LimitAddressSpace(256u << 20);
        S().Allocate(0xFFFFFFF0u);
      },
      ::testing::ExitedWithCode(1), "Error: out of memory \\(4294967280 bytes requested\\)");
}
#endif

}  // namespace
}  // namespace tulora::rt
