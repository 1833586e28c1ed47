// The program image of this build, run by the kernel library as the
// launcher hands it over.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/interface_constants.h"
#include "tests/support/scratch_directory.h"
#include "tests/support/test_platform.h"

namespace {

TEST(ProgramImage, StartsAndEndsThroughTheKernelLibrary) {
  std::ifstream in(TULORA_IMAGE_PATH, std::ios::binary);
  ASSERT_TRUE(in) << TULORA_IMAGE_PATH;
  std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  std::string error;
  void* kernel = tulora::test_platform::LoadLibraryFile(TULORA_RUNTIME_DIR "/ostra.vlr", &error);
  ASSERT_NE(kernel, nullptr) << error;
  auto getNewSock = reinterpret_cast<tulora::GetNewSockFunction>(
      tulora::test_platform::LibrarySymbol(kernel, "GetNewSock"));
  ASSERT_NE(getNewSock, nullptr);
  tulora::RuntimeEntry entry = getNewSock(tulora::KERNEL_INTERFACE_VERSION);
  ASSERT_NE(entry, nullptr);
  tulora::process::ScratchDirectory dir("tulora-image-run-");
  ASSERT_TRUE(dir.made());
  // The program runs in an empty folder with no console input: whatever its
  // main routine asks, it gets empty answers and ends. Its console text must
  // arrive as UTF-8 (the start line, or the dialogue's "Tips：" prompts).
  EXPECT_EXIT(
      {
        std::error_code failed;
        std::filesystem::current_path(dir.path(), failed);
        if (failed) std::_Exit(6);
        tulora::test_platform::TakeInputFromNothing();
        tulora::test_platform::SendOutputToErrorStream();  // where the death test reads
        entry(image.data());
        std::_Exit(5);  // not reached: the program ends through ExitProgram
      },
      ::testing::ExitedWithCode(0),
      "(Tulora \xE8\xBF\x90\xE8\xA1\x8C\xE5\xBA\x93\xE5\xB7\xB2\xE5\x90\xAF\xE5\x8A\xA8"
      "|Tips\xEF\xBC\x9A).*\r\n$");
}

}  // namespace
