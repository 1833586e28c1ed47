// Feeds arbitrary bytes to the image reader; whatever it accepts must write
// back to an image that reads the same.
#include <cstdlib>

#include "image/image_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tulora::image;
  ProgramImage image;
  std::string error;
  if (!ReadImage({data, size}, image, error)) return 0;
  std::vector<uint8_t> again = WriteImage(image);
  ProgramImage reread;
  if (!ReadImage(again, reread, error)) std::abort();
  if (reread.segments.size() != image.segments.size() ||
      reread.dllFunctions.size() != image.dllFunctions.size() ||
      reread.entryCodeOffset != image.entryCodeOffset)
    std::abort();
  return 0;
}
