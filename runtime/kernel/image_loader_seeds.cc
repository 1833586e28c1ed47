// Writes the kernel tests' program image as a seed for the loader's fuzz
// target into argv[1].
#include <string>

#include "fuzz/seed_files.h"
#include "tests/support/test_program.h"

int main(int argc, char** argv) {
  if (!tulora::fuzz::SeedFolderGiven(argc, argv)) return 2;
  std::vector<uint8_t> bytes = tulora::image::WriteImage(tulora::rt::test::MakeTestProgram().image);
  return tulora::fuzz::WriteSeedFile(argv[1], "test_program.img", bytes) ? 0 : 1;
}
