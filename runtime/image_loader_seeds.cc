// Writes the kernel tests' program image as a seed for the loader's fuzz
// target into argv[1].
#include <cstdio>
#include <string>

#include "runtime/test_program.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  std::vector<uint8_t> bytes =
      tulora::image::WriteImage(tulora::rt::test::MakeTestProgram().image);
  std::string path = std::string(argv[1]) + "/test_program.img";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return 1;
  return std::fclose(f) == 0 ? 0 : 1;
}
