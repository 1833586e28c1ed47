#include "runtime/kernel/kernel_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "image/arguments.h"
#include "image/commands.h"
#include "runtime/kernel/console_commands.h"
#include "runtime/kernel/kernel_services.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/test_platform.h"

namespace tulora::rt {
namespace {

const ServiceTable& S() { return KernelServiceTable(); }

// Takes a returned text and releases it.
std::string TakeText(CommandResult result) {
  char* text = static_cast<char*>(ResultPointer(result));
  std::string copy = text;
  S().Release(text);
  return copy;
}

// The console commands wired to two pipes.
class Console : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(out_.ok() && in_.ok());
    UseConsoleStreams(out_.writeEnd(), in_.readEnd());
  }
  void TearDown() override { UseProcessConsole(); }
  std::string Written() { return out_.ReadAvailable(); }
  void Type(const std::string& bytes) { ASSERT_TRUE(in_.Write(bytes)); }
  void EndInput() { in_.EndWriting(); }
  test_platform::TestPipe out_{false}, in_{true};
};

TEST_F(Console, WriteShowsGbkAsUtf8Unchanged) {
  struct Row {
    const char* gbk;
    const char* utf8;
  } rows[] = {
      {"plain\r\n", "plain\r\n"},
      {"\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},              // 中文
      {" \xA1\xAA\xA1\xAA \r\n", " \xE2\x80\x94\xE2\x80\x94 \r\n"},  // em dashes
      {"Tips\xA3\xBA", "Tips\xEF\xBC\x9A"},                          // full-width colon
      {"", ""},
  };
  for (const Row& row : rows) {
    auto args = MakeArguments(ArgText(row.gbk));
    EXPECT_EQ(S().CallKernelCommand(CMD_CONSOLE_WRITE, args.list()), 0u);
    EXPECT_EQ(Written(), row.utf8) << row.gbk;
  }
}

TEST_F(Console, ReadLineGivesGbkWithoutTheLineEnd) {
  Type("7284\n3\r\n\xE4\xB8\xAD\xE6\x96\x87\n\nlast");
  EndInput();
  const char* expected[] = {"7284", "3", "\xD6\xD0\xCE\xC4", "", "last"};
  for (const char* line : expected) {
    int32_t atEnd = 7;
    auto args = MakeArguments(ArgByRefBool(&atEnd));
    EXPECT_EQ(TakeText(S().CallKernelCommand(CMD_CONSOLE_READ_LINE, args.list())), line);
    EXPECT_EQ(atEnd, 0) << line;
  }
  int32_t atEnd = 0;
  auto args = MakeArguments(ArgByRefBool(&atEnd));
  EXPECT_EQ(TakeText(S().CallKernelCommand(CMD_CONSOLE_READ_LINE, args.list())), "");
  EXPECT_EQ(atEnd, 1);
}

TEST_F(Console, ReadLineWithoutTheFlagArgument) {
  Type("1\n");
  auto omitted = MakeArguments(ArgOmitted());
  EXPECT_EQ(TakeText(S().CallKernelCommand(CMD_CONSOLE_READ_LINE, omitted.list())), "1");
  Type("2\n");
  EXPECT_EQ(TakeText(S().CallKernelCommand(CMD_CONSOLE_READ_LINE, nullptr)), "2");
}

// A fresh directory to work in, the process's current directory meanwhile.
class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.made());
    dir_ = scratch_.path().string();
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override { std::filesystem::current_path(old_); }
  bool IsDirectory(const std::string& path) { return std::filesystem::is_directory(path); }
  process::ScratchDirectory scratch_{"tulora-kernel-"};
  // The names in dir_, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string dir_;
  std::filesystem::path old_;
};

TEST_F(Files, RunningDirectoryIsTheCurrentDirectoryWithoutSeparator) {
  EXPECT_EQ(TakeText(S().CallKernelCommand(CMD_RUNNING_DIRECTORY, nullptr)), dir_);
  std::filesystem::current_path("/");
  EXPECT_EQ(TakeText(S().CallKernelCommand(CMD_RUNNING_DIRECTORY, nullptr)), "");
  std::filesystem::current_path(dir_);
}

TEST_F(Files, CreateDirectoryConvertsNameAndSeparators) {
  struct Row {
    std::string gbk;      // relative to dir_, "\" separated
    std::string created;  // the UTF-8 path that must exist
    uint32_t result;
  } rows[] = {
      {"Tulora", "Tulora", 1},
      {"Tulora", "Tulora", 0},  // exists already
      {"Tulora\\\xD6\xD0\xCE\xC4", "Tulora/\xE4\xB8\xAD\xE6\x96\x87", 1},
      // 0x5C as the trail byte of a GBK character is no separator
      {"Tulora\\\x81\x5C", "Tulora/\xE4\xB9\x97", 1},
      {"missing\\child", "", 0},
      {"", "", 0},
  };
  for (const Row& row : rows) {
    std::string path = row.gbk.empty() ? "" : dir_ + "\\" + row.gbk;
    auto args = MakeArguments(ArgText(path.c_str()));
    EXPECT_EQ(S().CallKernelCommand(CMD_CREATE_DIRECTORY, args.list()), row.result) << row.gbk;
    if (!row.created.empty()) {
      EXPECT_TRUE(IsDirectory(dir_ + "/" + row.created)) << row.gbk;
    }
  }
}

std::string FileContents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

std::vector<uint8_t> ByteSetOf(const std::string& bytes) {
  std::vector<uint8_t> block(8 + bytes.size());
  uint32_t header[2] = {1, static_cast<uint32_t>(bytes.size())};
  std::memcpy(block.data(), header, 8);
  std::memcpy(block.data() + 8, bytes.data(), bytes.size());
  return block;
}

TEST_F(Files, WriteFileStoresTheWholeByteSet) {
  std::string jpeg("\xFF\xD8\x00\x01\xFF\xD9", 6);
  std::vector<uint8_t> set = ByteSetOf(jpeg);
  std::string path = dir_ + "\\1.jpg";
  auto args = MakeArguments(ArgText(path.c_str()), ArgPointer(set.data(), TYPE_BYTES));
  EXPECT_EQ(S().CallKernelCommand(CMD_WRITE_FILE, args.list()), 1u);
  EXPECT_EQ(FileContents(dir_ + "/1.jpg"), jpeg);

  std::vector<uint8_t> shorter = ByteSetOf("ab");  // a second write replaces the whole file
  auto again = MakeArguments(ArgText(path.c_str()), ArgPointer(shorter.data(), TYPE_BYTES));
  EXPECT_EQ(S().CallKernelCommand(CMD_WRITE_FILE, again.list()), 1u);
  EXPECT_EQ(FileContents(dir_ + "/1.jpg"), "ab");

  auto empty = MakeArguments(ArgText(path.c_str()), ArgOmitted());
  EXPECT_EQ(S().CallKernelCommand(CMD_WRITE_FILE, empty.list()), 1u);
  EXPECT_EQ(FileContents(dir_ + "/1.jpg"), "");

  std::string nowhere = dir_ + "\\no\\such.jpg";
  auto failing = MakeArguments(ArgText(nowhere.c_str()), ArgPointer(set.data(), TYPE_BYTES));
  EXPECT_EQ(S().CallKernelCommand(CMD_WRITE_FILE, failing.list()), 0u);
  EXPECT_EQ(Names(), std::vector<std::string>{"1.jpg"}) << "no temporary file stays behind";
}

// A write that fails half-way (the file size limit standing in for a full
// disk) or cannot take the file's place leaves the file as it was and no
// temporary file.
TEST_F(Files, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  std::string path = dir_ + "\\1.jpg";
  std::vector<uint8_t> old = ByteSetOf("old picture");
  auto first = MakeArguments(ArgText(path.c_str()), ArgPointer(old.data(), TYPE_BYTES));
  ASSERT_EQ(S().CallKernelCommand(CMD_WRITE_FILE, first.list()), 1u);

  std::vector<uint8_t> big = ByteSetOf(std::string(1u << 20, 'x'));
  auto large = MakeArguments(ArgText(path.c_str()), ArgPointer(big.data(), TYPE_BYTES));
  std::vector<uint8_t> small = ByteSetOf("ab");
  uint32_t result = 1, stream = 0, appended = 1, appendedLater = 1, kept = 1;
  {
    test_platform::FileSizeLimit limit(64u << 10);
    ASSERT_TRUE(limit.ok());
    result = S().CallKernelCommand(CMD_WRITE_FILE, large.list());
    // A stream remembers a failed write: later pieces and the finish fail too.
    auto open = MakeArguments(ArgText(path.c_str()));
    stream = S().CallKernelCommand(CMD_FILE_STREAM_OPEN, open.list());
    auto piece = MakeArguments(ArgInt(stream), ArgPointer(big.data(), TYPE_BYTES));
    appended = S().CallKernelCommand(CMD_FILE_STREAM_APPEND, piece.list());
    auto later = MakeArguments(ArgInt(stream), ArgPointer(small.data(), TYPE_BYTES));
    appendedLater = S().CallKernelCommand(CMD_FILE_STREAM_APPEND, later.list());
    auto keep = MakeArguments(ArgInt(stream), ArgBool(true));
    kept = S().CallKernelCommand(CMD_FILE_STREAM_FINISH, keep.list());
  }
  EXPECT_EQ(result, 0u);
  EXPECT_NE(stream, 0u);
  EXPECT_EQ(appended, 0u);
  EXPECT_EQ(appendedLater, 0u);
  EXPECT_EQ(kept, 0u);
  EXPECT_EQ(FileContents(dir_ + "/1.jpg"), "old picture");

  ASSERT_TRUE(std::filesystem::create_directory(dir_ + "/2.jpg"));  // a folder cannot be replaced
  std::string folder = dir_ + "\\2.jpg";
  auto onFolder = MakeArguments(ArgText(folder.c_str()), ArgPointer(old.data(), TYPE_BYTES));
  EXPECT_EQ(S().CallKernelCommand(CMD_WRITE_FILE, onFolder.list()), 0u);
  EXPECT_TRUE(IsDirectory(dir_ + "/2.jpg"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"1.jpg", "2.jpg"}));
}

// Whatever stands under a temporary file's name already (a link planted to
// be written through, someone's file) is left as it is: the write takes the
// next name, and only its own file is renamed into place or removed.
TEST_F(Files, PlantedTemporaryNamesAreNeitherWrittenThroughNorPlaced) {
  namespace fs = std::filesystem;
  const std::string pid = fs::read_symlink("/proc/self").string();  // this process's id
  std::ofstream(dir_ + "/victim") << "untouched";
  for (const char* picture : {"1.jpg", "2.jpg"}) {
    fs::create_symlink(dir_ + "/victim", dir_ + "/." + picture + "." + pid + ".part");
    std::ofstream(dir_ + "/." + picture + "." + pid + ".1.part") << "someone's";
  }
  ASSERT_TRUE(fs::create_directory(dir_ + "/2.jpg"));  // its write fails at the rename
  std::vector<uint8_t> set = ByteSetOf("new picture");
  for (const char* picture : {"1.jpg", "2.jpg"}) {
    const std::string path = dir_ + "\\" + picture;
    auto args = MakeArguments(ArgText(path.c_str()), ArgPointer(set.data(), TYPE_BYTES));
    EXPECT_EQ(S().CallKernelCommand(CMD_WRITE_FILE, args.list()), picture[0] == '1' ? 1u : 0u);
  }
  EXPECT_FALSE(fs::is_symlink(dir_ + "/1.jpg"));
  EXPECT_EQ(FileContents(dir_ + "/1.jpg"), "new picture");
  EXPECT_EQ(FileContents(dir_ + "/victim"), "untouched") << "written through a planted link";
  for (const char* picture : {"1.jpg", "2.jpg"}) {
    EXPECT_TRUE(fs::is_symlink(dir_ + "/." + picture + "." + pid + ".part")) << picture;
    EXPECT_EQ(FileContents(dir_ + "/." + picture + "." + pid + ".1.part"), "someone's") << picture;
  }
  EXPECT_EQ(Names().size(), 7u) << "the writes' own temporary files are gone";
}

TEST(KernelCommands, TextCommandsReachTheTextUnit) {
  auto args = MakeArguments(ArgText("  -42x"));
  EXPECT_EQ(ResultInt(S().CallKernelCommand(CMD_TEXT_TO_INT, args.list())), -42);
  auto left = MakeArguments(ArgText("abcdef"), ArgInt(2));
  EXPECT_EQ(TakeText(S().CallKernelCommand(CMD_LEFT, left.list())), "ab");
}

}  // namespace
}  // namespace tulora::rt
