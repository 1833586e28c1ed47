// Fuzz target: the launcher's inflate against zlib's on raw streams. The
// first two bytes give the declared size (up to 64 KiB); the rest is the
// stream. Both must agree on success, on the byte count and on the bytes.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "launcher/payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t declared = size_t{data[0]} | size_t{data[1]} << 8;
  const std::span<const uint8_t> stream(data + 2, size - 2);
  std::vector<uint8_t> ours(declared + 1), theirs(declared + 1);
  size_t produced = 0;
  const bool inflated =
      tulora::launcher::InflateFileSet(stream, ours.data(), declared, produced) == nullptr;
  uLongf theirSize = declared;
  uLong sourceLength = stream.size();
  const bool zlibInflated =
      uncompress2(theirs.data(), &theirSize, stream.data(), &sourceLength) == Z_OK;
  if (inflated != zlibInflated) std::abort();
  if (inflated && (produced != theirSize || std::memcmp(ours.data(), theirs.data(), produced) != 0)) {
    std::abort();
  }
  return 0;
}
