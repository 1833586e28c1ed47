// Feeds arbitrary bytes to the ELF reader and, for what it accepts, to the
// image linker; a linked image must write and read back.
#include <cstdlib>

#include "tools/imagelink/image_linker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tulora;
  imagelink::ElfObject object;
  std::string error;
  if (!imagelink::ReadElfObject({data, size}, object, error)) return 0;
  image::ProgramImage image;
  if (!imagelink::LinkImage(object, image, error)) return 0;
  image::ProgramImage read;
  if (!image::ReadImage(image::WriteImage(image), read, error)) std::abort();
  return 0;
}
