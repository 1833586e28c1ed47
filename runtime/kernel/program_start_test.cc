#include "runtime/kernel/program_start.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "image/arguments.h"
#include "image/interface_constants.h"
#include "tests/support/test_platform.h"
#include "tests/support/test_program.h"

namespace tulora::rt {
namespace {

using test::MakeTestProgram;
using test::TestProgram;

// The kernel library as the launcher sees it.
class KernelLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    handle_ = test_platform::LoadLibraryFile(TULORA_RUNTIME_DIR "/ostra.vlr", &error);
    ASSERT_NE(handle_, nullptr) << error;
    getNewSock_ =
        reinterpret_cast<GetNewSockFunction>(test_platform::LibrarySymbol(handle_, "GetNewSock"));
    ASSERT_NE(getNewSock_, nullptr);
  }
  RuntimeEntry Entry() { return getNewSock_(KERNEL_INTERFACE_VERSION); }
  void* handle_ = nullptr;
  GetNewSockFunction getNewSock_ = nullptr;
};

TEST_F(KernelLibrary, ServesOnlyInterfaceVersion1000) {
  EXPECT_NE(getNewSock_(1000), nullptr);
  for (int32_t other : {0, 999, 1001, -1000}) EXPECT_EQ(getNewSock_(other), nullptr) << other;
  // Nothing of the kernel's inner code is exported.
  EXPECT_EQ(
      test_platform::LibrarySymbol(handle_, "_ZN6tulora2rt16RunKernelCommandEjPNS_12ArgumentListE"),
      nullptr);
}

TEST_F(KernelLibrary, RunsAProgramToItsEnd) {
  std::vector<uint8_t> bytes = image::WriteImage(MakeTestProgram().image);
  RuntimeEntry entry = Entry();
  // The console goes to stderr here so that the death test can see it.
  EXPECT_EXIT(
      {
        test_platform::SendOutputToErrorStream();
        entry(bytes.data());
        std::_Exit(5);  // not reached: the program ends through ExitProgram
      },
      ::testing::ExitedWithCode(0), "^\xE4\xB8\xAD\xE6\x96\x87 ok\r\nreleased\r\n$");
}

TEST_F(KernelLibrary, ReportsABrokenImageAndReturns) {
  // The image's last bytes are cut off, and the page after them is not
  // readable: the kernel must notice without reading past them.
  std::vector<uint8_t> bytes = image::WriteImage(MakeTestProgram().image);
  test_platform::GuardedPages area(bytes.size());
  ASSERT_NE(area.begin(), nullptr);
  size_t kept = bytes.size() - 3;
  uint8_t* start = area.begin() + area.readableBytes() - kept;
  std::memcpy(start, bytes.data(), kept);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Entry()(start), 0);
  EXPECT_EQ(Entry()(nullptr), 0);
  std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(printed, ::testing::StartsWith("Error: "));
  EXPECT_THAT(printed, ::testing::HasSubstr("\nError: no program image was handed over\n"));
}

// Preparing the image in this process, with the support libraries of the
// build.
class Prepared : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = MakeTestProgram();
    bytes_ = image::WriteImage(program_.image);
    std::string error;
    ASSERT_TRUE(PrepareProgram(bytes_, TULORA_RUNTIME_DIR, loaded_, error)) << error;
  }
  void TearDown() override { UnloadImage(loaded_); }
  template <typename F>
  F Routine(const char* name) {
    return reinterpret_cast<F>(loaded_.codeBase + program_.routines.at(name));
  }
  uint32_t Var(uint32_t offset) {
    uint32_t v;
    std::memcpy(&v, loaded_.varBase + offset, 4);
    return v;
  }
  TestProgram program_;
  std::vector<uint8_t> bytes_;
  LoadedImage loaded_;
};

TEST_F(Prepared, DllCallsReachTheDeclaredFunction) {
  uint16_t wide[4] = {};
  const char gbk[] = "\xD6\xD0\xCE\xC4";
  uintptr_t words[6] = {
      936, 0, reinterpret_cast<uintptr_t>(gbk), 4, reinterpret_cast<uintptr_t>(wide), 4};
  EXPECT_EQ(Routine<uintptr_t (*)(const uintptr_t*)>("CallDll")(words), 2u);
  EXPECT_EQ(wide[0], 0x4E2D);
  EXPECT_EQ(wide[1], 0x6587);
}

TEST_F(Prepared, LibraryCommandsReachTheSupportLibraries) {
  auto pause = MakeArguments(ArgInt(60));
  auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(Routine<CommandResult (*)(ArgumentList*)>("CallPause")(pause.list()), 0u);
  EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(60));

  EXPECT_EQ(Routine<CommandResult (*)()>("StartThread")(), 1u);
  for (int i = 0; i < 500 && Var(test::VAR_THREAD) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(Var(test::VAR_THREAD), 0x5A5Au);
  for (int i = 0; i < 500 && LiveApplicationThreads() != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(LiveApplicationThreads(), 0);
}

using PreparedDeathTest = Prepared;

TEST_F(PreparedDeathTest, RuntimeErrorRaisedByCodeEndsTheProgram) {
  EXPECT_EXIT(Routine<void (*)(int32_t)>("RaiseError")(9), ::testing::ExitedWithCode(1),
              "Error: runtime error 9 \\(selector outside a multi-way branch\\) in routine "
              "0x1234 at position 7");
}

TEST(PrepareProgram, RefusesWhatTheRuntimeCannotProvide) {
  struct Row {
    const char* name;
    void (*change)(TestProgram&);
    const char* directory;
    const char* message;
  } rows[] = {
      {"unknown DLL function",
       [](TestProgram& p) {
         p.image.dllFunctions[4].functionNameOffset = test::AddConstText(p, "InternetOpenW");
       },
       TULORA_RUNTIME_DIR, "DLL function entry 4 \\('InternetOpenW' of 'wininet.dll'\\)"},
      {"function of another DLL",
       [](TestProgram& p) {
         p.image.dllFunctions[0].dllNameOffset = test::AddConstText(p, "user32");
       },
       TULORA_RUNTIME_DIR,
       "DLL function entry 0 \\('CoInitialize' of 'user32'\\) is not available"},
      {"library not there", [](TestProgram&) {}, "/nonexistent",
       "support library 'VThread' cannot be loaded"},
      {"library name with a path", [](TestProgram& p) { p.image.libraries[2].name = "../xtra"; },
       TULORA_RUNTIME_DIR, "library row 2 has the unusable name '../xtra'"},
  };
  for (const Row& row : rows) {
    TestProgram p = MakeTestProgram();
    row.change(p);
    std::vector<uint8_t> bytes = image::WriteImage(p.image);
    LoadedImage loaded;
    std::string error;
    EXPECT_FALSE(PrepareProgram(bytes, row.directory, loaded, error)) << row.name;
    EXPECT_THAT(error, ::testing::ContainsRegex(row.message)) << row.name;
  }
}

TEST(PrepareProgram, ResolvesDllNamesWithoutCaseOrSuffixAndTheEmptyName) {
  TestProgram p = MakeTestProgram();
  ProgramBindings bindings;
  std::string error;
  ASSERT_TRUE(ResolveDllTable(p.image, bindings, error)) << error;
  ASSERT_EQ(bindings.dllFunctions.size(), 12u);
  EXPECT_STREQ(bindings.dllFunctions[1]->function, "CoUninitialize");       // "Ole32"
  EXPECT_STREQ(bindings.dllFunctions[2]->function, "MultiByteToWideChar");  // empty DLL name
  EXPECT_STREQ(bindings.dllFunctions[5]->dll, "wininet");
  EXPECT_EQ(bindings.dllFunctions[8], bindings.dllFunctions[9]);  // same function, two entries
}

}  // namespace
}  // namespace tulora::rt
