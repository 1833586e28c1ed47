// tulora-imageinspect IMAGE
// Prints a program image: header, library table, DLL table, segments,
// relocations by kind and the link fix-up groups. IMAGE is an image file,
// or a Windows executable whose image section is read.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/imageinspect/image_report.h"

int main(int argc, char** argv) {
  using namespace tulora;
  if (argc != 2) {
    std::fprintf(stderr, "usage: tulora-imageinspect IMAGE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
  if (!in && !in.eof()) {
    std::fprintf(stderr, "tulora-imageinspect: error: cannot read %s\n", argv[1]);
    return 1;
  }
  std::span<const uint8_t> imageBytes;
  std::string where, error;
  if (!imageinspect::ImageBytesOfFile(bytes, imageBytes, where, error)) {
    std::fprintf(stderr, "tulora-imageinspect: error: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  std::printf("image: %s\n", where.c_str());
  image::ProgramImage image;
  if (!image::ReadImage(imageBytes, image, error)) {
    std::fprintf(stderr, "tulora-imageinspect: error: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  std::fputs(imageinspect::DescribeImage(image).c_str(), stdout);
  return 0;
}
