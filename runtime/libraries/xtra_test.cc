// The pause command of xtra.vlr, loaded from the build's runtime directory,
// with and without the test hook that shortens the crawl's pauses.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "image/arguments.h"
#include "image/commands.h"
#include "runtime/base/library_abi.h"
#include "tests/support/test_platform.h"

namespace tulora::rt {
namespace {

using Clock = std::chrono::steady_clock;

LibraryCommandEntry Extra() {
  std::string error;
  static void* library = test_platform::LoadLibraryFile(TULORA_RUNTIME_DIR "/xtra.vlr", &error);
  if (library == nullptr) return nullptr;
  return reinterpret_cast<LibraryCommandEntry>(
      test_platform::LibrarySymbol(library, LIBRARY_ENTRY_NAME));
}

double PauseMs(LibraryCommandEntry entry, int32_t milliseconds) {
  auto args = MakeArguments(ArgInt(milliseconds));
  const auto start = Clock::now();
  entry(nullptr, CMD_PAUSE, args.list());
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

TEST(ExtraPause, TestHookShortensOnlyPausesOfASecondOrMore) {
  const LibraryCommandEntry entry = Extra();
  ASSERT_NE(entry, nullptr) << "xtra.vlr cannot be loaded from " TULORA_RUNTIME_DIR;
  struct Case {
    const char* hook;  // TULORA_TEST_PAUSE_MS, nullptr: not set
    int32_t asked;
    double atLeast, below;
  };
  const Case cases[] = {
      {nullptr, 60, 60, 900}, {nullptr, 0, 0, 50},
      {nullptr, -20, 0, 50},  {"", 60, 60, 900},  // empty: as if not set
      {"0", 1000, 0, 500},                        // the crawl's pause: at once
      {"0", 3000, 0, 500},    {"80", 1000, 80, 900},
      {"0", 100, 100, 900},  // a waiting loop's step keeps its length
      {"0", 999, 999, 1900},
  };
  for (const Case& c : cases) {
    if (c.hook == nullptr) {
      unsetenv("TULORA_TEST_PAUSE_MS");
    } else {
      setenv("TULORA_TEST_PAUSE_MS", c.hook, 1);
    }
    const double ms = PauseMs(entry, c.asked);
    EXPECT_GE(ms, c.atLeast) << (c.hook ? c.hook : "unset") << " " << c.asked;
    EXPECT_LT(ms, c.below) << (c.hook ? c.hook : "unset") << " " << c.asked;
  }
  unsetenv("TULORA_TEST_PAUSE_MS");
}

}  // namespace
}  // namespace tulora::rt
