// The program image of this build, run by the kernel library as the
// launcher hands it over.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
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
  char dir[] = "/tmp/tulora-image-run-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  // The program runs in an empty folder with no console input: whatever its
  // main routine asks, it gets empty answers and ends. Its console text must
  // arrive as UTF-8 (the start line, or the dialogue's "Tips：" prompts).
  EXPECT_EXIT(
      {
        if (chdir(dir) != 0) _exit(6);
        int none = open("/dev/null", O_RDONLY);
        dup2(none, STDIN_FILENO);
        dup2(STDERR_FILENO, STDOUT_FILENO);  // the console, where the death test reads
        entry(image.data());
        _exit(5);  // not reached: the program ends through ExitProgram
      },
      ::testing::ExitedWithCode(0),
      "(Tulora \xE8\xBF\x90\xE8\xA1\x8C\xE5\xBA\x93\xE5\xB7\xB2\xE5\x90\xAF\xE5\x8A\xA8"
      "|Tips\xEF\xBC\x9A).*\r\n$");
  std::string command = std::string("rm -rf '") + dir + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
}

}  // namespace
