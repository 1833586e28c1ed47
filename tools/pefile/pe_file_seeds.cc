// Writes seed inputs for pe_file_fuzz into the folder given as argv[1]:
// small executables with three sections and with a full section table.
#include <string>

#include "fuzz/seed_files.h"
#include "tools/pefile/small_pe.h"

int main(int argc, char** argv) {
  if (!tulora::fuzz::SeedFolderGiven(argc, argv)) return 2;
  const std::vector<uint8_t> seeds[] = {
      tulora::pefile::SmallPe(3), tulora::pefile::SmallPe(3, 0x200), tulora::pefile::SmallPe(1)};
  int n = 0;
  for (const std::vector<uint8_t>& seed : seeds) {
    const std::string bytes(seed.begin(), seed.end());
    if (!tulora::fuzz::WriteSeedFile(argv[1], "seed" + std::to_string(n++), bytes)) return 1;
  }
  return 0;
}
