#include "crawler/entry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crawler/program_values.h"
#include "image/arguments.h"
#include "image/commands.h"

// A service table that records what the application asks of it.
namespace {

std::vector<std::string> g_calls;
std::vector<void*> g_released;

std::string TextOf(tulora::ArgumentList* args) {
  const tulora::ArgumentRecord& r = args->records[0];
  uintptr_t address = static_cast<uintptr_t>((static_cast<uint64_t>(r.high) << 32) | r.value);
  return reinterpret_cast<const char*>(address);
}

TULORA_CALL tulora::CommandResult Kernel(uint32_t command, tulora::ArgumentList* args) {
  g_calls.push_back(command == tulora::CMD_CONSOLE_WRITE ? "write " + TextOf(args)
                                                         : "command " + std::to_string(command));
  return 0;
}
TULORA_CALL uintptr_t Control(uint32_t selector, uintptr_t a, uintptr_t) {
  bool isRelease = a == reinterpret_cast<uintptr_t>(&tulora::ReleaseGlobals);
  g_calls.push_back("control " + std::to_string(selector) + (isRelease ? " ReleaseGlobals" : ""));
  return 0;
}
TULORA_CALL void Finish() { g_calls.push_back("finish"); }
TULORA_CALL void Exit(int32_t code) { g_calls.push_back("exit " + std::to_string(code)); }
TULORA_CALL void Release(void* block) {
  g_released.push_back(block);
  std::free(block);
}

bool g_crawlRunning = false;

}  // namespace

// The main routine and the crawl's state, as the entry routine sees them.
namespace tulora {
int32_t ConsoleMain() {
  static const char kLine[] = "main routine\r\n";
  auto args = MakeArguments(ArgText(kLine));
  tulora_services.CallKernelCommand(CMD_CONSOLE_WRITE, args.list());
  return 5;  // not used: the exit code stays 0
}
bool CrawlMayStillRun() { return g_crawlRunning; }
}  // namespace tulora

// Declared extern "C" in image/services.h.
tulora::ServiceTable tulora_services = {nullptr, nullptr, nullptr, Kernel,  nullptr,
                                        nullptr, nullptr, nullptr, Release, Exit,
                                        Finish,  nullptr, Control};

namespace tulora {
namespace {

TEST(TuloraEntry, RunsTheStartSequenceInOrder) {
  g_calls.clear();
  TuloraEntry();  // the recording ExitProgram returns, so the entry does too
  std::vector<std::string> expected = {
      "control 3 ReleaseGlobals",
      "write main routine\r\n",
      "finish",
      "exit 0",
  };
  EXPECT_EQ(g_calls, expected);
}

TEST(ReleaseGlobals, KeepsTheDownloadRootWhileTheCrawlRuns) {
  g_released.clear();
  DownloadRoot = static_cast<char*>(std::malloc(8));
  g_crawlRunning = true;
  ReleaseGlobals();
  EXPECT_NE(DownloadRoot, nullptr);
  EXPECT_TRUE(g_released.empty());
  g_crawlRunning = false;
  ReleaseGlobals();
  EXPECT_EQ(DownloadRoot, nullptr);
  EXPECT_EQ(g_released.size(), 1u);
}

TEST(ReleaseGlobals, ReleasesTheDownloadRootOnce) {
  g_released.clear();
  DownloadRoot = static_cast<char*>(std::malloc(8));
  void* root = DownloadRoot;
  ReleaseGlobals();
  EXPECT_EQ(DownloadRoot, nullptr);
  ReleaseGlobals();  // nothing left to release
  ASSERT_EQ(g_released.size(), 1u);
  EXPECT_EQ(g_released[0], root);
}

}  // namespace
}  // namespace tulora
