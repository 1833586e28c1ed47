// Places a decoded program image in memory below 2 GiB and makes it
// runnable: copies the segments, applies the code relocations and rewrites
// the link fix-up fields into the runtime's own selector forms.
#ifndef TULORA_RUNTIME_KERNEL_IMAGE_LOADER_H
#define TULORA_RUNTIME_KERNEL_IMAGE_LOADER_H

#include <stdint.h>

#include <string>
#include <vector>

#include "image/image_format.h"
#include "image/services.h"

namespace tulora::rt {

// The runtime's form of the link fix-up fields. The image holds plain
// numbers; loading turns a DLL entry number e into DLL_SELECTOR_TAG | e and
// a library row r into LIBRARY_SELECTOR_TAG | r. CallDllFunction and
// CallLibraryCommand accept only these tagged selectors, so a call site that
// escaped the fix-up is caught as a broken image instead of calling the
// wrong function. Library data type codes (group 3) are checked against the
// LibraryTable (library row + 1 in bits 16-28) and kept as they are, the
// form in which the object commands compare them. Tags stay below 2^31 so
// that sign-extended 32-bit fields keep them intact.
inline constexpr uint32_t DLL_SELECTOR_TAG = 0x7D000000u;
inline constexpr uint32_t LIBRARY_SELECTOR_TAG = 0x7B000000u;
inline constexpr uint32_t SELECTOR_TAG_MASK = 0xFF000000u;
inline constexpr uint32_t SELECTOR_INDEX_MASK = 0x00FFFFFFu;

struct PlacedSegment {
  std::string name;
  uint8_t* address = nullptr;
  uint32_t size = 0;  // size in memory
};

// A placed image. Owns its memory block until UnloadImage.
struct LoadedImage {
  void* block = nullptr;
  size_t blockSize = 0;
  ServiceTable* services = nullptr;  // the low copy the code addresses
  uint8_t* constBase = nullptr;
  uint8_t* varBase = nullptr;
  uint8_t* codeBase = nullptr;
  uint32_t codeSize = 0;
  std::vector<PlacedSegment> segments;
  void* entry = nullptr;  // the application's entry routine
};

// Places `image` with a copy of `services` for the code to call. On failure
// returns false, frees what it took and sets `error` to a message naming the
// offending item.
bool PlaceImage(const image::ProgramImage& image, const ServiceTable& services, LoadedImage& out,
                std::string& error);

void UnloadImage(LoadedImage& loaded);

// Address of a placed segment by name, or null.
const PlacedSegment* FindPlaced(const LoadedImage& loaded, const std::string& name);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_IMAGE_LOADER_H
