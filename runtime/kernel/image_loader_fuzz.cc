// Feeds arbitrary bytes through the reader to the loader: whatever the
// reader accepts must be placed or refused without touching memory outside
// the placed block, and a placed image lies below 2 GiB.
#include <cstdlib>

#include "runtime/kernel/image_loader.h"
#include "runtime/kernel/kernel_services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tulora;
  image::ProgramImage image;
  std::string error;
  if (!image::ReadImage({data, size}, image, error)) return 0;
  rt::LoadedImage loaded;
  if (!rt::PlaceImage(image, rt::KernelServiceTable(), loaded, error)) {
    if (error.empty() || loaded.block != nullptr) std::abort();
    return 0;
  }
  uintptr_t end = reinterpret_cast<uintptr_t>(loaded.block) + loaded.blockSize;
  if (end > 0x80000000u || loaded.entry == nullptr) std::abort();
  rt::UnloadImage(loaded);
  return 0;
}
