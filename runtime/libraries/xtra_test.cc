// The pause command of xtra.vlr, loaded from the build's runtime directory:
// the library users run pauses the time asked, whatever the environment or
// the current directory say; the paced test program's xtra.vlr
// (tests/paced/) takes the crawl's pauses (a second or more) from the file
// "pace" of the current directory and records each in "pauses".
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "image/arguments.h"
#include "image/commands.h"
#include "runtime/base/library_abi.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/test_platform.h"

namespace tulora::rt {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

LibraryCommandEntry Entry(const std::string& path) {
  std::string error;
  void* library = test_platform::LoadLibraryFile(path.c_str(), &error);
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

TEST(ExtraPause, OnlyThePacedLibraryShortensOrRecordsTheCrawlsPauses) {
  const LibraryCommandEntry shipped = Entry(TULORA_RUNTIME_DIR "/xtra.vlr");
  const LibraryCommandEntry paced = Entry(TULORA_PACED_DIR "/xtra.vlr");
  ASSERT_NE(shipped, nullptr) << TULORA_RUNTIME_DIR "/xtra.vlr cannot be loaded";
  ASSERT_NE(paced, nullptr) << TULORA_PACED_DIR "/xtra.vlr cannot be loaded";
  process::ScratchDirectory scratch("tulora-pause-");
  ASSERT_TRUE(scratch.made());
  const fs::path before = fs::current_path();
  fs::current_path(scratch.path());
  // What the end-to-end tests once used to shorten pauses: no effect now.
  setenv("TULORA_TEST_PAUSE_MS", "0", 1);
  setenv("TULORA_TEST_PAUSE_LOG", (scratch.path() / "env-log").c_str(), 1);
  struct Case {
    bool isPaced;
    const char* pace;  // the pace file's text, nullptr: no file
    int32_t asked;
    double atLeast, below;
    bool logged;
  };
  const Case cases[] = {
      {false, nullptr, 60, 60, 900, false}, {false, nullptr, 0, 0, 50, false},
      {false, nullptr, -20, 0, 50, false},
      {false, "0", 1000, 1000, 1900, false},  // the crawl's pause, whole
      {true, nullptr, 60, 60, 900, false},    {true, "0", 1000, 0, 500, true},
      {true, "0", 3000, 0, 500, true},        {true, "80", 1000, 80, 900, true},
      {true, "0", 100, 100, 900, false},  // a waiting loop's step keeps its length
      {true, "0", 999, 999, 1900, false},     {true, nullptr, 1000, 1000, 1900, true},
      {true, "x", 1000, 1000, 1900, true},  // no number: the time asked
  };
  size_t logLines = 0;
  for (const Case& c : cases) {
    const std::string name = std::string(c.isPaced ? "paced " : "shipped ") +
                             (c.pace ? c.pace : "no pace file") + " " + std::to_string(c.asked);
    fs::remove("pace");
    if (c.pace != nullptr) std::ofstream("pace") << c.pace;
    const double ms = PauseMs(c.isPaced ? paced : shipped, c.asked);
    EXPECT_GE(ms, c.atLeast) << name;
    EXPECT_LT(ms, c.below) << name;
    std::ifstream log("pauses");
    std::string line, last;
    size_t lines = 0;
    while (std::getline(log, line)) {
      ++lines;
      last = line;
    }
    EXPECT_EQ(lines, logLines + (c.logged ? 1 : 0)) << name;
    if (c.logged) {
      EXPECT_EQ(last.substr(0, last.find(' ')), std::to_string(c.asked)) << name;
    }
    logLines = lines;
  }
  EXPECT_FALSE(fs::exists(scratch.path() / "env-log")) << "no library reads the environment";
  unsetenv("TULORA_TEST_PAUSE_MS");
  unsetenv("TULORA_TEST_PAUSE_LOG");
  fs::current_path(before);
}

}  // namespace
}  // namespace tulora::rt
