// The real executables: build/tulora and the bare launcher with payloads
// appended, run as processes with their own temporary directory.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launcher/payload.h"
#include "launcher/test_streams.h"
#include "tests/support/process.h"
#include "tests/support/scratch_directory.h"

namespace tulora::launcher {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const fs::path& path) { return process::ReadFile(path.string()); }

void WriteAll(const fs::path& path, const Bytes& bytes, fs::perms perms = fs::perms::owner_all) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  fs::permissions(path, perms);
}

using Outcome = process::ProcessResult;

class LauncherProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.made());
    root_ = scratch_.path();
    temp_ = root_ / "tmp";
    fs::create_directory(temp_);
    fs::permissions(temp_, fs::perms::owner_all);
  }

  // An executable made of the bare launcher and `payload`.
  fs::path Executable(const Bytes& payload, const char* name = "app") {
    Bytes exe = ReadAll(TULORA_RAW_LAUNCHER);
    exe.insert(exe.end(), payload.begin(), payload.end());
    const fs::path path = root_ / name;
    WriteAll(path, exe);
    return path;
  }

  Outcome Run(const fs::path& exe) {
    process::ProcessRequest request;
    request.program = exe.string();
    request.env = {"TMPDIR=" + temp_.string(), "TULORA_TESTKERNEL_LOG=" + Log().string(),
                   "PATH=/usr/bin:/bin"};
    for (std::string& e : process::InheritedEnvironment({"ASAN_OPTIONS"})) request.env.push_back(e);
    request.captureDir = root_.string();
    request.workDir = root_.string();  // build/tulora makes its download folder there
    const Outcome o = process::RunProcess(request);
    EXPECT_TRUE(o.started) << exe;
    return o;
  }

  fs::path Log() const { return root_ / "kernel.log"; }

  void ExpectError(const fs::path& exe, const std::string& message) {
    const Outcome o = Run(exe);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.err, "Error: " + message + "\n");
    EXPECT_EQ(o.out, "");
    EXPECT_FALSE(fs::exists(Log())) << "no kernel entry may run after a failure";
  }

  static std::vector<PayloadFile> Runtime(const char* kernelPath) {
    return {{"VThread.vlr", Bytes(100, 'v')},
            {"ostra.vlr", ReadAll(kernelPath)},
            {"xtra.vlr", Bytes(3000, 'x')}};
  }

  // build/tulora with `patch` applied to its bytes.
  template <typename Patch>
  fs::path PatchedProgram(Patch patch) {
    Bytes program = ReadAll(TULORA_PROGRAM);
    patch(program);
    const fs::path path = root_ / "patched";
    WriteAll(path, program);
    return path;
  }

  // build/tulora with its own payload replaced by `payload` (with trailer).
  static void ReplacePayload(Bytes& program, const Bytes& payload) {
    const uint32_t length = ReadLe32(program.data() + program.size() - 8);
    program.resize(program.size() - 8 - length);
    program.insert(program.end(), payload.begin(), payload.end());
  }

  process::ScratchDirectory scratch_{"tulora-e2e-"};
  fs::path root_, temp_;
};

TEST_F(LauncherProcess, ExtractsLoadsAndHandsOverTheImage) {
  const fs::path exe =
      Executable(BuildPayload(Runtime(TESTKERNEL_RECORDING), {0x2F, 0x9E3779B9, ""}));
  const Outcome o = Run(exe);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out, "testkernel: entry\n");

  const fs::path dir = temp_ / "V_N2F";
  EXPECT_EQ(ReadAll(dir / "VThread.vlr"), Bytes(100, 'v'));
  EXPECT_EQ(ReadAll(dir / "xtra.vlr"), Bytes(3000, 'x'));
  EXPECT_EQ(ReadAll(dir / "ostra.vlr"), ReadAll(TESTKERNEL_RECORDING));
  EXPECT_EQ(fs::status(dir).permissions() & fs::perms::all, fs::perms::owner_all);

  // The entry got 1000 and the embedded image; the library came from there.
  const Bytes image = ReadAll(TULORA_IMAGE_FILE);
  std::string hex;
  char pair[3];
  for (size_t i = 0; i < 64; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", i < image.size() ? image[i] : 0);
    hex += pair;
  }
  EXPECT_EQ(ReadText(Log()),
            "version=1000 image=" + hex + " library=" + (dir / "ostra.vlr").string() + "\n");
}

TEST_F(LauncherProcess, SecondStartOverwritesTheFiles) {
  const fs::path exe = Executable(BuildPayload(Runtime(TESTKERNEL_RECORDING), {0xABC, 1, ""}));
  ASSERT_EQ(Run(exe).exitCode, 0);
  const fs::path dir = temp_ / "V_NABC";
  WriteAll(dir / "xtra.vlr", Bytes{1, 2});
  const Outcome o = Run(exe);
  EXPECT_EQ(o.out, "testkernel: entry\n");
  EXPECT_EQ(ReadAll(dir / "xtra.vlr"), Bytes(3000, 'x'));
}

TEST_F(LauncherProcess, SecondStartReplacesWhatDiffersAndKeepsWhatMatches) {
  const fs::path exe = Executable(BuildPayload(Runtime(TESTKERNEL_RECORDING), {0xABC, 1, ""}));
  ASSERT_EQ(Run(exe).exitCode, 0);
  const fs::path dir = temp_ / "V_NABC";

  Bytes sameSize(3000, 'x');
  sameSize[2999] = 'y';  // one byte differs, the size is the same
  WriteAll(dir / "xtra.vlr", sameSize);
  fs::permissions(dir / "ostra.vlr", fs::perms::owner_read | fs::perms::owner_write);
  fs::remove(dir / "VThread.vlr");
  const fs::path outside = root_ / "outside";
  WriteAll(outside, Bytes(100, 'v'));
  fs::create_symlink(outside, dir / "VThread.vlr");  // the right bytes, but through a link

  ASSERT_EQ(Run(exe).out, "testkernel: entry\n");
  EXPECT_EQ(ReadAll(dir / "xtra.vlr"), Bytes(3000, 'x'));
  EXPECT_FALSE(fs::is_symlink(dir / "VThread.vlr"));
  EXPECT_EQ(ReadAll(dir / "VThread.vlr"), Bytes(100, 'v'));
  EXPECT_EQ(fs::status(dir / "ostra.vlr").permissions() & fs::perms::all, fs::perms::owner_all)
      << "a file with the wrong mode is written again";

  // A third start finds every file as it would write it and leaves it.
  struct stat written {
  }, third{};
  ASSERT_EQ(stat((dir / "xtra.vlr").c_str(), &written), 0);
  ASSERT_EQ(Run(exe).out, "testkernel: entry\n");
  ASSERT_EQ(stat((dir / "xtra.vlr").c_str(), &third), 0);
  EXPECT_EQ(third.st_ino, written.st_ino);
  EXPECT_EQ(third.st_mtim.tv_sec, written.st_mtim.tv_sec);
  EXPECT_EQ(third.st_mtim.tv_nsec, written.st_mtim.tv_nsec);
}

TEST_F(LauncherProcess, LargeFilesComeOutWhole) {
  // Sizes around the 2 MiB blocks the payload and the inflated set live in.
  Bytes noise(3u << 20);
  uint32_t state = 12345;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
  Bytes text((2u << 20) + 1);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>('a' + i % 23);
  std::vector<PayloadFile> files = Runtime(TESTKERNEL_RECORDING);
  files.push_back({"noise.dat", noise});
  files.push_back({"text.dat", text});
  const fs::path exe = Executable(BuildPayload(files, {0xD00D, 7, ""}));
  ASSERT_EQ(Run(exe).out, "testkernel: entry\n");
  const fs::path dir = temp_ / "V_ND00D";
  EXPECT_TRUE(ReadAll(dir / "noise.dat") == noise);
  EXPECT_TRUE(ReadAll(dir / "text.dat") == text);
}

TEST_F(LauncherProcess, StoredDirectoryName) {
  const fs::path exe =
      Executable(BuildPayload(Runtime(TESTKERNEL_RECORDING), {0xABC, 1, "rt-dir"}));
  EXPECT_EQ(Run(exe).out, "testkernel: entry\n");
  EXPECT_TRUE(fs::exists(temp_ / "rt-dir" / "ostra.vlr"));
  EXPECT_FALSE(fs::exists(temp_ / "V_NABC"));
}

// The libraries come out stripped, and neither they nor the program carry
// a switch of the tests' (the pauses are shortened only by the paced test
// program's own pause library).
TEST_F(LauncherProcess, ProgramExtractsItsLibrariesStripped) {
  const Outcome o = Run(TULORA_PROGRAM);  // no input: the dialogue ends at once
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.err, "");
  const Bytes program = ReadAll(TULORA_PROGRAM);
  EXPECT_EQ(std::string(program.begin(), program.end()).find("TULORA_TEST_"), std::string::npos);
  for (const char* name : {"ostra.vlr", "VThread.vlr", "xtra.vlr"}) {
    const Bytes library = ReadAll(temp_ / DefaultDirectoryName(TULORA_DIRECTORY_ID) / name);
    ASSERT_GT(library.size(), 4u) << name;
    const std::string text(library.begin(), library.end());
    if (std::string(name) == "xtra.vlr") {
      EXPECT_EQ(text.find("getenv"), std::string::npos) << "the pause library reads the environment";
    }
    EXPECT_EQ(text.find(".symtab"), std::string::npos) << name << " keeps its symbol table";
    EXPECT_EQ(text.find(".debug_info"), std::string::npos) << name << " keeps debug information";
    EXPECT_EQ(text.find("TULORA_TEST_"), std::string::npos) << name << " reads a test switch";
  }
}

TEST_F(LauncherProcess, ProgramWithBrokenPayloads) {
  // Cut off: the trailer names the payload's length.
  ExpectError(PatchedProgram([](Bytes& p) {
                const uint32_t length = ReadLe32(p.data() + p.size() - 8);
                p.resize(p.size() - 8 - length);
              }),
              messages::kInvalidData);
  ExpectError(PatchedProgram([](Bytes& p) { p[p.size() - 1] ^= 0x10; }), messages::kInvalidData);
  ExpectError(PatchedProgram([](Bytes& p) { WriteLe32(p.data() + p.size() - 8, 3); }),
              messages::kInvalidData);
  ExpectError(PatchedProgram([](Bytes& p) {
                const uint32_t length = ReadLe32(p.data() + p.size() - 8);
                p[p.size() - 8 - length] ^= 0xFF;
              }),
              messages::kPayloadReadFailed);
  // The last byte of the zlib stream, the end of its Adler-32.
  ExpectError(PatchedProgram([](Bytes& p) { p[p.size() - 9] ^= 0x01; }),
              messages::kDecompressFailed);
  // Streams declaring 287 and 288 length codes: deflate has 286.
  ExpectError(PatchedProgram([](Bytes& p) {
                ReplacePayload(p, BuildRawPayload({0x54, 3, ""}, FILESET_MAGIC, 64,
                                                  test::OneLiteralStream(30)));
              }),
              messages::kDecompressFailed);
  ExpectError(PatchedProgram([](Bytes& p) {
                ReplacePayload(p, BuildRawPayload({0x54, 3, ""}, FILESET_MAGIC, 64,
                                                  test::OneLiteralStream(31)));
              }),
              messages::kDecompressFailed);
}

TEST_F(LauncherProcess, KernelLibraryProblems) {
  ExpectError(Executable(BuildPayload({{"a.vlr", Bytes{1}}, {"b.vlr", Bytes{2}}}, {7, 3, ""})),
              messages::kNoKernel);
  EXPECT_EQ(ReadAll(temp_ / "V_N7" / "b.vlr"), Bytes{2}) << "files are written before the check";
  ExpectError(Executable(BuildPayload(Runtime(TESTKERNEL_NOEXPORT), {8, 3, ""})),
              messages::kKernelInvalid);
  ExpectError(Executable(BuildPayload(Runtime(TESTKERNEL_REFUSING), {9, 3, ""})),
              messages::kKernelInterfaceInvalid);
  ExpectError(Executable(BuildPayload({{"ostra.vlr", Bytes(2000, 0)}}, {10, 3, ""})),
              messages::kKernelLoadFailed);
}

TEST_F(LauncherProcess, RefusesUnsafeExtractionDirectories) {
  const Bytes payload = BuildPayload(Runtime(TESTKERNEL_RECORDING), {0x51, 3, ""});
  const fs::path exe = Executable(payload);
  const fs::path elsewhere = root_ / "elsewhere";
  fs::create_directory(elsewhere);
  fs::create_directory_symlink(elsewhere, temp_ / "V_N51");
  ExpectError(exe, messages::kBadExtractionDirectory);
  EXPECT_TRUE(fs::is_empty(elsewhere)) << "nothing is written through the link";

  fs::remove(temp_ / "V_N51");
  fs::create_directory(temp_ / "V_N51");
  fs::permissions(temp_ / "V_N51", fs::perms::owner_all | fs::perms::group_write);
  ExpectError(exe, messages::kBadExtractionDirectory);

  fs::permissions(temp_ / "V_N51", fs::perms::owner_all);
  EXPECT_EQ(Run(exe).out, "testkernel: entry\n") << "a safe existing directory is reused";
}

TEST_F(LauncherProcess, RefusesRecordNamesLeavingTheDirectory) {
  const fs::path exe = Executable(BuildPayload(
      {{"ostra.vlr", ReadAll(TESTKERNEL_RECORDING)}, {"..", Bytes{1}}}, {0x52, 3, ""}));
  ExpectError(exe, messages::kInvalidData);
  EXPECT_FALSE(fs::exists(temp_ / "V_N52" / "ostra.vlr"));
}

TEST_F(LauncherProcess, RefusesDirectoryNamesLeavingTheTemporaryDirectory) {
  // Every file of the scratch folder but the captured output.
  const auto tree = [this] {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      const std::string name = entry.path().filename().string();
      if (name != "stdout" && name != "stderr") paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  };
  for (const char* name : {"..", ".", "a/b", "a\\b"}) {
    const fs::path exe = PatchedProgram([name](Bytes& p) {
      ReplacePayload(p, BuildPayload(Runtime(TESTKERNEL_RECORDING), {0x55, 3, name}));
    });
    const std::vector<std::string> before = tree();
    ExpectError(exe, messages::kInvalidData);
    EXPECT_EQ(tree(), before) << name;
    EXPECT_TRUE(fs::is_empty(temp_)) << name;
  }
}

TEST_F(LauncherProcess, TooLongTemporaryDirectoryIsRefused) {
  fs::path deep = temp_;
  while (deep.string().size() < 262) deep /= std::string(40, 'd');
  fs::create_directories(deep);
  temp_ = deep;
  ExpectError(Executable(BuildPayload(Runtime(TESTKERNEL_RECORDING), {0x53, 3, ""})),
              messages::kPathTooLong);
}

}  // namespace
}  // namespace tulora::launcher
