// The start routine over a scripted platform: every step's failure, what is
// made and written before it, and the hand-over.
#include "launcher/start.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "launcher/payload.h"

namespace tulora::launcher {
namespace {

using Bytes = std::vector<uint8_t>;

// The scripted world the fake platform functions read and record into.
struct World {
  bool modulePathFails = false;
  Bytes file;  // the executable's bytes
  int64_t position = 0;
  int readCalls = 0;
  int shortReadOnCall = 0;  // 1-based read call that returns too few bytes
  int allocations = 0;
  int failAllocation = 0;  // 1-based allocation that finds no memory
  int releases = 0;
  int releasesAtEntry = -1;
  bool payloadSeekFails = false;
  std::string temp = "/tmp/";
  size_t tempResult = 0;  // when non-zero, tempPath returns this instead
  const char* directoryVerdict = nullptr;
  std::vector<std::string> directories;
  std::vector<std::pair<std::string, Bytes>> written;
  std::vector<std::string> loaded;
  bool exportMissing = false;
  bool entryRefused = false;
  int32_t askedVersion = 0;
  const void* entryImage = nullptr;
  int entryCalls = 0;
  std::vector<std::string> errors;
};
World* g = nullptr;

bool FakeModulePath(char* buffer, size_t size) {
  if (g->modulePathFails) return false;
  std::snprintf(buffer, size, "/opt/app/tulora");
  return true;
}
intptr_t FakeOpen(const char*) { return 3; }
int64_t FakeSeek(intptr_t, int64_t distance) {
  if (distance < -8 && g->payloadSeekFails) return -1;
  const int64_t target = static_cast<int64_t>(g->file.size()) + distance;
  if (target < 0) return -1;
  return g->position = target;
}
int64_t FakeRead(intptr_t, void* buffer, size_t size) {
  ++g->readCalls;
  const size_t left = g->file.size() - static_cast<size_t>(g->position);
  size_t n = std::min(size, left);
  if (g->readCalls == g->shortReadOnCall && n > 0) --n;
  std::memcpy(buffer, g->file.data() + g->position, n);
  g->position += static_cast<int64_t>(n);
  return static_cast<int64_t>(n);
}
uint8_t* FakeAllocate(size_t size) {
  ++g->allocations;
  if (g->allocations == g->failAllocation) return nullptr;
  return new uint8_t[size];
}
void FakeRelease(uint8_t* block, size_t) {
  ++g->releases;
  delete[] block;
}
size_t FakeTemp(char* buffer, size_t size) {
  if (g->tempResult) return g->tempResult;
  std::snprintf(buffer, size, "%s", g->temp.c_str());
  return g->temp.size();
}
const char* FakeMakeDirectory(const char* path) {
  g->directories.push_back(path);
  return g->directoryVerdict;
}
void FakeWrite(const char* path, const uint8_t* data, size_t size) {
  g->written.push_back({path, Bytes(data, data + size)});
}
void* FakeLoad(const char* path) {
  g->loaded.push_back(path);
  return g;
}
int FakeEntry(const void* image) {
  ++g->entryCalls;
  g->releasesAtEntry = g->releases;
  g->entryImage = image;
  return 5;
}
RuntimeEntry FakeGetNewSock(int32_t version) {
  g->askedVersion = version;
  return g->entryRefused ? nullptr : &FakeEntry;
}
void* FakeFind(void*, const char* name) {
  if (g->exportMissing || std::strcmp(name, "GetNewSock") != 0) return nullptr;
  return reinterpret_cast<void*>(&FakeGetNewSock);
}
void FakeShowError(const char* message) { g->errors.push_back(message); }

const PlatformOps kFake = {
    FakeModulePath,    FakeOpen,  FakeSeek, FakeRead, FakeAllocate,  FakeRelease, FakeTemp,
    FakeMakeDirectory, FakeWrite, FakeLoad, FakeFind, FakeShowError, '/'};

class StartTest : public ::testing::Test {
 protected:
  void SetUp() override { g = &world; }
  void TearDown() override { g = nullptr; }

  void SetExecutable(const Bytes& payloadWithTrailer) {
    world.file.assign(4096, 0x90);  // the executable's own bytes
    world.file.insert(world.file.end(), payloadWithTrailer.begin(), payloadWithTrailer.end());
  }
  void SetFiles(const std::vector<PayloadFile>& files, std::string dir = "") {
    SetExecutable(BuildPayload(files, {0xBEEF, 0x1234ABCD, std::move(dir)}));
  }
  // Runs the start; expects exactly `message` (or none) and the result 0.
  void Run(const char* message) {
    EXPECT_EQ(StartRoutine(kFake, kImage), 0);
    if (message == nullptr) {
      EXPECT_TRUE(world.errors.empty()) << world.errors.front();
    } else {
      ASSERT_EQ(world.errors.size(), 1u);
      EXPECT_EQ(world.errors[0], message);
      EXPECT_EQ(world.entryCalls, 0);
    }
  }

  static constexpr char kImage[] = "program image";
  World world;
  const std::vector<PayloadFile> kRuntime = {
      {"VThread.vlr", Bytes{1}}, {"ostra.vlr", Bytes{2, 2}}, {"xtra.vlr", Bytes{3, 3, 3}}};
};

TEST_F(StartTest, HandsTheImageToTheKernelEntry) {
  SetFiles(kRuntime);
  Run(nullptr);
  EXPECT_EQ(world.directories, std::vector<std::string>{"/tmp/V_NBEEF"});
  ASSERT_EQ(world.written.size(), 3u);
  EXPECT_EQ(world.written[0].first, "/tmp/V_NBEEF/VThread.vlr");
  EXPECT_EQ(world.written[1].first, "/tmp/V_NBEEF/ostra.vlr");
  EXPECT_EQ(world.written[2].second, (Bytes{3, 3, 3}));
  EXPECT_EQ(world.loaded, std::vector<std::string>{"/tmp/V_NBEEF/ostra.vlr"});
  EXPECT_EQ(world.askedVersion, 1000);
  EXPECT_EQ(world.entryCalls, 1);
  EXPECT_EQ(world.entryImage, static_cast<const void*>(kImage));
}

TEST_F(StartTest, BlocksAreGivenBackBeforeTheEntryRuns) {
  SetFiles(kRuntime);
  Run(nullptr);
  EXPECT_EQ(world.allocations, 2) << "the payload and the inflated set";
  EXPECT_EQ(world.releasesAtEntry, 2);
}

TEST_F(StartTest, NoMemoryForThePayloadOrTheSet) {
  SetFiles(kRuntime);
  world.failAllocation = 1;
  Run(messages::kNoMemory);
  EXPECT_TRUE(world.directories.empty());

  world = World{};
  SetFiles(kRuntime);
  world.failAllocation = 2;
  Run(messages::kNoMemory);
  EXPECT_EQ(world.directories.size(), 1u);
  EXPECT_TRUE(world.written.empty());
  EXPECT_EQ(world.releases, 1) << "the payload is given back";
}

TEST_F(StartTest, StoredDirectoryNameAndKernelNameAsStored) {
  SetFiles({{"OSTRA.VLB", Bytes{9}}}, "Runtime 5");
  Run(nullptr);
  EXPECT_EQ(world.directories, std::vector<std::string>{"/tmp/Runtime 5"});
  EXPECT_EQ(world.loaded, std::vector<std::string>{"/tmp/Runtime 5/OSTRA.VLB"});
}

TEST_F(StartTest, ReadFailures) {
  struct Row {
    const char* what;
    void (*script)(World&);
    const char* message;
  };
  const Row rows[] = {
      {"no module path", [](World& w) { w.modulePathFails = true; }, messages::kCantOpenFile},
      {"short trailer", [](World& w) { w.shortReadOnCall = 1; }, messages::kReadFailed},
      {"payload seek fails", [](World& w) { w.payloadSeekFails = true; },
       messages::kPayloadReadFailed},
      {"short payload", [](World& w) { w.shortReadOnCall = 2; }, messages::kPayloadReadFailed},
      {"small file", [](World& w) { w.file.resize(900); }, messages::kInvalidData},
  };
  for (const Row& row : rows) {
    world = World{};
    SetFiles(kRuntime);
    row.script(world);
    Run(row.message);
    EXPECT_TRUE(world.directories.empty()) << row.what;
    EXPECT_TRUE(world.written.empty()) << row.what;
  }
}

TEST_F(StartTest, TemporaryDirectoryMissingOrTooLong) {
  SetFiles(kRuntime);
  world.tempResult = 0;
  world.temp = "";
  Run(messages::kNoTempDirectory);
  EXPECT_TRUE(world.directories.empty());

  world = World{};
  SetFiles(kRuntime);
  world.tempResult = 300;  // did not fit the buffer
  Run(messages::kPathTooLong);
  EXPECT_TRUE(world.directories.empty());
}

TEST_F(StartTest, PathsLongerThanTheBufferAreRefusedNotCut) {
  // Directory path: temp (250) + "V_NBEEF" (7) = 257 fits, 259 with the
  // separator does not leave room for the NUL... check both edges.
  world.temp = "/" + std::string(248, 't') + "/";  // 250 bytes
  SetFiles(kRuntime);
  Run(messages::kPathTooLong);  // 257 + "/" + "VThread.vlr" is too long for a file
  EXPECT_EQ(world.directories.size(), 1u);
  EXPECT_TRUE(world.written.empty()) << "no file is written when one path does not fit";

  world = World{};
  world.temp = "/" + std::string(251, 't') + "/";  // 253 + 7 = 260: no room for the NUL
  SetFiles(kRuntime);
  Run(messages::kPathTooLong);
  EXPECT_TRUE(world.directories.empty());

  world = World{};
  world.temp = "/" + std::string(234, 't') + "/";  // 236 + 7 + 1 + 11 = 255 fits
  SetFiles(kRuntime);
  Run(nullptr);
  EXPECT_EQ(world.written.size(), 3u);
}

TEST_F(StartTest, RefusedDirectoryLoadsNothing) {
  SetFiles(kRuntime);
  world.directoryVerdict = messages::kBadExtractionDirectory;
  Run(messages::kBadExtractionDirectory);
  EXPECT_TRUE(world.written.empty());
  EXPECT_TRUE(world.loaded.empty());
}

TEST_F(StartTest, BrokenBodyMakesNoDirectory) {
  SetExecutable(BuildRawPayload({1, 2, ""}, FILESET_MAGIC + 1, 10, Bytes(20, 0)));
  Run(messages::kInvalidData);
  EXPECT_TRUE(world.directories.empty());
}

TEST_F(StartTest, DecompressFailureWritesNothing) {
  SetExecutable(BuildRawPayload({1, 2, ""}, FILESET_MAGIC, 100, Bytes(30, 0x33)));
  Run(messages::kDecompressFailed);
  EXPECT_EQ(world.directories.size(), 1u);
  EXPECT_TRUE(world.written.empty());
}

TEST_F(StartTest, KernelFailures) {
  SetFiles({{"a.txt", Bytes{1}}, {"b.txt", Bytes{2}}});
  Run(messages::kNoKernel);
  EXPECT_EQ(world.written.size(), 2u) << "the files are written before the kernel is looked for";

  world = World{};
  SetFiles(kRuntime);
  world.exportMissing = true;
  Run(messages::kKernelInvalid);

  world = World{};
  SetFiles(kRuntime);
  world.entryRefused = true;
  Run(messages::kKernelInterfaceInvalid);
  EXPECT_EQ(world.askedVersion, 1000);
}

TEST_F(StartTest, UnsafeRecordNameWritesNothing) {
  SetFiles({{"ostra.vlr", Bytes{1}}, {"..", Bytes{2}}});
  Run(messages::kInvalidData);
  EXPECT_TRUE(world.written.empty());
  EXPECT_TRUE(world.loaded.empty());
}

}  // namespace
}  // namespace tulora::launcher
