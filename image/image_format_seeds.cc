// Writes seed images for the image reader's fuzz target into argv[1].
#include <string>

#include "fuzz/seed_files.h"
#include "image/image_sample.h"

int main(int argc, char** argv) {
  if (!tulora::fuzz::SeedFolderGiven(argc, argv)) return 2;
  std::vector<uint8_t> bytes = tulora::image::WriteImage(tulora::image::MakeSampleImage());
  return tulora::fuzz::WriteSeedFile(argv[1], "sample.img", bytes) ? 0 : 1;
}
