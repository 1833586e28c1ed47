// Fuzz target: the payload reader on arbitrary executable tails. The input is
// the end of an executable (1000 bytes of code are put in front of it); the
// reader's rules run in the launcher's order on it, and its inflate is
// checked against zlib's on every stream that gets that far.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "launcher/payload.h"

using namespace tulora::launcher;

// Declared sizes above this are not inflated here, only to keep the fuzzer
// within its memory limit; the launcher itself allocates whatever is declared.
constexpr uint32_t kMaxInflated = 16u << 20;

// The launcher's inflate must give zlib's verdict and bytes for every stream.
static void CompareWithZlib(std::span<const uint8_t> stream, size_t declared, bool inflated,
                            const uint8_t* out, size_t produced) {
  std::unique_ptr<uint8_t[]> expected(new uint8_t[declared]);
  uLongf expectedSize = declared;
  uLong sourceLength = stream.size();
  const bool zlibInflated =
      uncompress2(expected.get(), &expectedSize, stream.data(), &sourceLength) == Z_OK;
  if (zlibInflated != inflated) std::abort();
  if (inflated && (expectedSize != produced || std::memcmp(expected.get(), out, produced) != 0)) {
    std::abort();
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(1000, 0x90);
  file.insert(file.end(), data, data + size);
  const int64_t position = static_cast<int64_t>(file.size()) - 8;
  if (CheckTrailerPosition(position) != nullptr) return 0;
  uint32_t length = 0;
  if (CheckTrailer(std::span<const uint8_t, TRAILER_SIZE>(file.data() + position, TRAILER_SIZE),
                   position, length) != nullptr) {
    return 0;
  }
  std::vector<uint8_t> payload(file.begin() + (position - length), file.begin() + position);
  if (CheckPayloadMagic(payload) != nullptr) return 0;
  ScrambleBody(payload);
  BodyLayout layout;
  if (CheckBody(payload, layout) != nullptr || layout.inflatedSize > kMaxInflated) return 0;
  std::unique_ptr<uint8_t[]> set(new uint8_t[layout.inflatedSize]);
  size_t produced = 0;
  const auto stream = std::span<const uint8_t>(payload).subspan(layout.streamOffset);
  const bool inflated = InflateFileSet(stream, set.get(), layout.inflatedSize, produced) == nullptr;
  CompareWithZlib(stream, layout.inflatedSize, inflated, set.get(), produced);
  if (!inflated) return 0;
  FileSet walked;
  if (WalkFileSet(std::span<const uint8_t>(set.get(), produced), walked) == nullptr) {
    volatile uint8_t sink = 0;
    for (const FileSetRecord& r : walked.records) {
      if (r.size) sink = sink ^ r.contents[r.size - 1];
      sink = sink ^ static_cast<uint8_t>(r.name.size());
    }
  }
  return 0;
}
