// The program image of this build, run by the kernel library as the
// launcher hands it over.
#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

typedef int (*EntryFunction)(const void*);
typedef void* (*GetNewSockFunction)(int32_t);

TEST(ProgramImage, StartsAndEndsThroughTheKernelLibrary) {
  std::ifstream in(TULORA_IMAGE_PATH, std::ios::binary);
  ASSERT_TRUE(in) << TULORA_IMAGE_PATH;
  std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  void* kernel = dlopen(TULORA_RUNTIME_DIR "/ostra.vlr", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(kernel, nullptr) << dlerror();
  auto getNewSock = reinterpret_cast<GetNewSockFunction>(dlsym(kernel, "GetNewSock"));
  ASSERT_NE(getNewSock, nullptr);
  auto entry = reinterpret_cast<EntryFunction>(getNewSock(1000));
  ASSERT_NE(entry, nullptr);
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);  // the console, where the death test reads
        entry(image.data());
        _exit(5);
      },
      ::testing::ExitedWithCode(0),
      "^Tulora \xE8\xBF\x90\xE8\xA1\x8C\xE5\xBA\x93\xE5\xB7\xB2\xE5\x90\xAF\xE5\x8A\xA8\r\n$");
}

}  // namespace
