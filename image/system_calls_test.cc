// The application's system calls against the kernel's own commands and the
// support libraries of the build.
#include "image/system_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "runtime/kernel/console_commands.h"
#include "tests/support/kernel_host.h"

namespace tulora {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// The names in a folder, sorted, each followed by a space.
std::string Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string all;
  for (const std::string& name : names) all += name + " ";
  return all;
}

class SystemCalls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(test::BindHostedApplicationToKernel(TULORA_RUNTIME_DIR, &error)) << error;
  }
  void SetUp() override {
    char pattern[] = "/tmp/tulora-calls-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(pipe(out_), 0);
    ASSERT_EQ(pipe(in_), 0);
    rt::UseConsoleStreams(out_[1], in_[0]);
  }
  void TearDown() override {
    rt::UseProcessConsole();
    for (int fd : {out_[0], out_[1], in_[0], in_[1]}) close(fd);
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string dir_;
  int out_[2], in_[2];
};

TEST_F(SystemCalls, ConsoleWriteAndReadLine) {
  RtConsoleWrite("\xD6\xD0\xCE\xC4\r\n");
  char shown[16] = {};
  ASSERT_EQ(read(out_[0], shown, sizeof shown), 8);
  EXPECT_STREQ(shown, "\xE4\xB8\xAD\xE6\x96\x87\r\n");

  ASSERT_EQ(write(in_[1], "7284\r\n\xE4\xB8\xAD\n", 10), 10);
  close(in_[1]);
  in_[1] = open("/dev/null", O_WRONLY);
  bool atEnd = true;
  char* line = RtConsoleReadLine(&atEnd);
  EXPECT_STREQ(line, "7284");
  EXPECT_FALSE(atEnd);
  tulora_services.Release(line);
  line = RtConsoleReadLine();
  EXPECT_STREQ(line, "\xD6\xD0");
  tulora_services.Release(line);
  line = RtConsoleReadLine(&atEnd);
  EXPECT_STREQ(line, "");
  EXPECT_TRUE(atEnd);
  tulora_services.Release(line);
}

TEST_F(SystemCalls, DirectoriesAndFiles) {
  char* cwd = RtRunningDirectory();
  char expected[4096];
  ASSERT_NE(getcwd(expected, sizeof expected), nullptr);
  EXPECT_STREQ(cwd, expected);
  tulora_services.Release(cwd);

  std::string folder = dir_ + "\\Tulora";
  EXPECT_TRUE(RtCreateDirectory(folder.c_str()));
  EXPECT_FALSE(RtCreateDirectory(folder.c_str()));
  // A file stream: its bytes stand under another name until it is kept.
  const std::string file = folder + "\\1.jpg", native = dir_ + "/Tulora/1.jpg";
  const int32_t stream = RtOpenFileStream(file.c_str());
  ASSERT_NE(stream, 0);
  uint8_t first[] = {1, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xD8}, second[] = {1, 0, 0, 0, 1, 0, 0, 0, 0xD9};
  EXPECT_TRUE(RtAppendToFileStream(stream, reinterpret_cast<const ByteSet*>(first)));
  EXPECT_TRUE(RtAppendToFileStream(stream, reinterpret_cast<const ByteSet*>(second)));
  EXPECT_NE(access(native.c_str(), F_OK), 0) << "the file appears only when kept";
  EXPECT_TRUE(RtFinishFileStream(stream, true));
  EXPECT_EQ(Contents(native), "\xFF\xD8\xD9");
  EXPECT_FALSE(RtAppendToFileStream(stream, reinterpret_cast<const ByteSet*>(first)))
      << "a finished stream takes nothing";
  EXPECT_FALSE(RtFinishFileStream(stream, true));

  // A stream dropped leaves the file as it was, and no other file.
  const int32_t dropped = RtOpenFileStream(file.c_str());
  ASSERT_NE(dropped, 0);
  EXPECT_NE(dropped, stream);
  EXPECT_TRUE(RtAppendToFileStream(dropped, reinterpret_cast<const ByteSet*>(second)));
  EXPECT_FALSE(RtFinishFileStream(dropped, false));
  EXPECT_EQ(Contents(native), "\xFF\xD8\xD9");
  EXPECT_EQ(Names(dir_ + "/Tulora"), "1.jpg ");

  const std::string nowhere = folder + "\\no\\1.jpg";
  EXPECT_EQ(RtOpenFileStream(nowhere.c_str()), 0);
  EXPECT_FALSE(RtFinishFileStream(0, true));
}

std::atomic<int> g_ran{0};
std::atomic<intptr_t> g_argument{-1};
TULORA_CALL void Worker() { g_ran.fetch_add(1); }
TULORA_CALL void WorkerWithArgument(intptr_t argument) {
  g_argument.store(argument);
  g_ran.fetch_add(1);
}

void WaitFor(int count) {
  for (int i = 0; i < 500 && g_ran.load() < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

TEST_F(SystemCalls, ThreadsStartAndPausesWait) {
  g_ran = 0;
  EXPECT_TRUE(RtStartThread(Worker));
  WaitFor(1);
  EXPECT_EQ(g_ran.load(), 1);

  int32_t handle = 0;
  EXPECT_TRUE(
      RtStartThreadWith(reinterpret_cast<ApplicationRoutine>(&WorkerWithArgument), 77, &handle));
  WaitFor(2);
  EXPECT_EQ(g_argument.load(), 77);
  EXPECT_GT(handle, 0);

  auto begin = std::chrono::steady_clock::now();
  RtPause(120);
  EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(120));
  begin = std::chrono::steady_clock::now();
  RtPause(-5);  // nothing to wait for
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(100));
}

}  // namespace
}  // namespace tulora
