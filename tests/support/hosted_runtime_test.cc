#include "tests/support/hosted_runtime.h"

#include <gtest/gtest.h>

#include <string>

#include "image/commands.h"

namespace tulora {
namespace {

TEST(HostedRuntimeTest, CountsLiveBlocks) {
  int64_t live = hosted::LiveBlocks();
  void* a = tulora_services.Allocate(10);
  void* b = tulora_services.Allocate(0);
  EXPECT_EQ(hosted::LiveBlocks(), live + 2);
  a = tulora_services.Reallocate(a, 1000);
  EXPECT_EQ(hosted::LiveBlocks(), live + 2);
  tulora_services.Release(a);
  tulora_services.Release(b);
  tulora_services.Release(nullptr);
  EXPECT_EQ(hosted::LiveBlocks(), live);
}

bool AnswerKernel(uint32_t command, ArgumentList*, CommandResult* result) {
  if (command != CMD_RUNNING_DIRECTORY) return false;
  *result = 42;
  return true;
}

bool AnswerDll(uint32_t entry, uint32_t count, const uintptr_t*, uintptr_t* result) {
  if (entry != 4) return false;
  *result = count;
  return true;
}

TEST(HostedRuntimeTest, HooksComeFirstAndFallBack) {
  hosted::SetKernelHook(AnswerKernel);
  hosted::SetDllHook(AnswerDll);
  EXPECT_EQ(tulora_services.CallKernelCommand(CMD_RUNNING_DIRECTORY, nullptr), 42u);
  ArgumentList empty{0, {}};
  EXPECT_EQ(tulora_services.CallKernelCommand(CMD_LENGTH, &empty), 0u);  // default
  EXPECT_EQ(tulora_services.CallDllFunction(4, 5, nullptr), 5u);
  hosted::SetKernelHook(nullptr);
  hosted::SetDllHook(nullptr);
}

TEST(HostedRuntimeTest, GbkHelpersConvertBothWays) {
  EXPECT_EQ(hosted::Gbk("\xE6\xA0\x87\xE9\xA2\x98\xEF\xBC\x9A"), "\xB1\xEA\xCC\xE2\xA3\xBA");
  EXPECT_EQ(hosted::Utf8("\xB1\xEA\xCC\xE2\xA3\xBA"), "\xE6\xA0\x87\xE9\xA2\x98\xEF\xBC\x9A");
  EXPECT_EQ(hosted::Gbk(""), "");
}

TEST(HostedRuntimeDeathTest, RuntimeErrorsAndUnknownCallsAbortWithAMessage) {
  EXPECT_DEATH(tulora_services.ReportRuntimeError(ERROR_INDEX_ABOVE, 3, 17),
               "runtime error 1 in routine 3 at 17");
  EXPECT_DEATH(tulora_services.CallKernelCommand(CMD_OBJECT_CREATE, nullptr),
               "kernel command not available");
  EXPECT_DEATH(tulora_services.CallDllFunction(5, 1, nullptr), "no DLL function");
  EXPECT_DEATH(tulora_services.ExitProgram(0), "ExitProgram called");
}

}  // namespace
}  // namespace tulora
