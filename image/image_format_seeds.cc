// Writes seed images for the image reader's fuzz target into argv[1].
#include <cstdio>
#include <string>

#include "image/image_sample.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  std::vector<uint8_t> bytes = tulora::image::WriteImage(tulora::image::MakeSampleImage());
  std::string path = std::string(argv[1]) + "/sample.img";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return 1;
  return std::fclose(f) == 0 ? 0 : 1;
}
