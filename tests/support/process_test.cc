#include "tests/support/process.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/scratch_directory.h"

namespace tulora::process {
namespace {

namespace fs = std::filesystem;

class Process : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.made());
    dir_ = scratch_.path();
  }

  // /bin/sh running `script` from a file, in the given environment.
  ProcessResult Shell(const std::string& script, std::vector<std::string> env = {}) {
    std::ofstream(dir_ / "script", std::ios::binary) << script;
    ProcessRequest request;
    request.program = "/bin/sh";
    request.env = std::move(env);
    request.stdinFile = (dir_ / "script").string();
    request.captureDir = dir_.string();
    return RunProcess(request);
  }

  ScratchDirectory scratch_{"tulora-process-"};
  fs::path dir_;
};

TEST_F(Process, CollectsBothStreamsAndTheExitCode) {
  const ProcessResult r = Shell("echo out; echo err >&2; printf 'no newline'; exit 7\n");
  EXPECT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 7);
  EXPECT_EQ(r.out, "out\nno newline");
  EXPECT_EQ(r.err, "err\n");
}

TEST_F(Process, SignalBecomes128PlusItsNumber) {
  EXPECT_EQ(Shell("kill -9 $$\n").exitCode, 128 + 9);
}

TEST_F(Process, TheChildSeesOnlyTheGivenEnvironment) {
  setenv("TULORA_PROCESS_TEST_PARENT", "1", 1);
  const ProcessResult r =
      Shell("echo \"$A|$B|${TULORA_PROCESS_TEST_PARENT-unset}\"\n", {"A=one", "B=two words"});
  EXPECT_EQ(r.out, "one|two words|unset\n");
  unsetenv("TULORA_PROCESS_TEST_PARENT");
}

TEST_F(Process, StandardInputAndWorkingDirectory) {
  fs::create_directory(dir_ / "work");
  std::ofstream(dir_ / "input", std::ios::binary) << "first\nsecond\n";
  std::ofstream(dir_ / "work" / "marker") << "";
  ProcessRequest request;
  request.program = "/bin/cat";
  request.stdinFile = (dir_ / "input").string();
  request.captureDir = dir_.string();
  EXPECT_EQ(RunProcess(request).out, "first\nsecond\n");

  std::ofstream(dir_ / "input", std::ios::binary) << "ls; pwd\n";
  request.program = "/bin/sh";
  request.workDir = (dir_ / "work").string();
  EXPECT_EQ(RunProcess(request).out, "marker\n" + fs::canonical(dir_ / "work").string() + "\n");
}

TEST_F(Process, NoInputReadsAsEndOfInput) {
  ProcessRequest request;
  request.program = "/bin/cat";
  request.captureDir = dir_.string();
  const ProcessResult r = RunProcess(request);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(Process, OutputOfAnEarlierRunIsReplaced) {
  EXPECT_EQ(Shell("echo a long first line; echo x >&2\n").out, "a long first line\n");
  const ProcessResult r = Shell("echo b\n");
  EXPECT_EQ(r.out, "b\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(Process, MeasuresWallTime) {
  const ProcessResult r = Shell("sleep 0.3\n");
  EXPECT_GE(r.seconds, 0.3);
  EXPECT_LT(r.seconds, 30.0);
}

TEST_F(Process, MissingProgramIsNotStarted) {
  ProcessRequest request;
  request.program = (dir_ / "absent").string();
  request.captureDir = dir_.string();
  const ProcessResult r = RunProcess(request);
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.exitCode, -1);
}

TEST(InheritedEnvironment, PicksTheNamedEntriesOnly) {
  setenv("TULORA_PROCESS_TEST_A", "x=y", 1);
  setenv("TULORA_PROCESS_TEST_AB", "no", 1);
  unsetenv("TULORA_PROCESS_TEST_C");
  EXPECT_EQ(InheritedEnvironment({"TULORA_PROCESS_TEST_A", "TULORA_PROCESS_TEST_C"}),
            std::vector<std::string>{"TULORA_PROCESS_TEST_A=x=y"});
  unsetenv("TULORA_PROCESS_TEST_A");
  unsetenv("TULORA_PROCESS_TEST_AB");
}

TEST(ScratchDirectory, PrivateFreshAndRemovedWithItsContent) {
  fs::path kept;
  {
    ScratchDirectory a("tulora-scratch-"), b("tulora-scratch-");
    ASSERT_TRUE(a.made());
    ASSERT_TRUE(b.made());
    EXPECT_NE(a.path(), b.path());
    EXPECT_EQ(a.path().filename().string().rfind("tulora-scratch-", 0), 0u) << a.path();
    EXPECT_TRUE(fs::is_empty(a.path()));
    EXPECT_EQ(fs::status(a.path()).permissions() & fs::perms::all, fs::perms::owner_all);
    fs::create_directories(a.path() / "sub" / "deeper");
    std::ofstream(a.path() / "sub" / "file") << "x";
    kept = a.path();
  }
  EXPECT_FALSE(fs::exists(kept));
}

TEST(ScratchDirectory, ImpossiblePlaceIsReportedNotMade) {
  ScratchDirectory nowhere("no-such-folder-for-tulora/x");
  EXPECT_FALSE(nowhere.made());
  EXPECT_TRUE(nowhere.path().empty());
}

}  // namespace
}  // namespace tulora::process
