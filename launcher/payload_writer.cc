// The payload writer: the file set, its zlib stream, the scrambled payload
// and its trailer, as the launcher reads them back.
#include <zlib.h>

#include "launcher/payload.h"

namespace tulora::launcher {

std::vector<uint8_t> SerializeFileSet(const std::vector<PayloadFile>& files) {
  std::vector<uint8_t> set;
  for (const PayloadFile& file : files) {
    set.insert(set.end(), file.name.begin(), file.name.end());
    set.push_back(0);
    uint8_t size[4];
    WriteLe32(size, static_cast<uint32_t>(file.contents.size()));
    set.insert(set.end(), size, size + 4);
    set.insert(set.end(), file.contents.begin(), file.contents.end());
  }
  return set;
}

std::vector<uint8_t> BuildRawPayload(const PayloadOptions& options, uint32_t fileSetMagic,
                                     uint32_t inflatedSize, std::span<const uint8_t> stream) {
  std::vector<uint8_t> out(PAYLOAD_HEADER_SIZE);
  WriteLe32(out.data(), PAYLOAD_MAGIC);
  WriteLe32(out.data() + 4, options.directoryId);
  WriteLe32(out.data() + 8, options.key);
  out.insert(out.end(), options.directoryName.begin(), options.directoryName.end());
  out.push_back(0);
  uint8_t header[FILESET_HEADER_SIZE];
  WriteLe32(header, fileSetMagic);
  WriteLe32(header + 4, inflatedSize);
  out.insert(out.end(), header, header + FILESET_HEADER_SIZE);
  out.insert(out.end(), stream.begin(), stream.end());
  ScrambleBody(out);
  uint8_t trailer[TRAILER_SIZE];
  WriteLe32(trailer, static_cast<uint32_t>(out.size()));
  WriteLe32(trailer + 4, PAYLOAD_MAGIC);
  out.insert(out.end(), trailer, trailer + TRAILER_SIZE);
  return out;
}

std::vector<uint8_t> BuildPayload(const std::vector<PayloadFile>& files,
                                  const PayloadOptions& options) {
  const std::vector<uint8_t> set = SerializeFileSet(files);
  uLongf compressedSize = compressBound(set.size());
  std::vector<uint8_t> stream(compressedSize);
  if (compress2(stream.data(), &compressedSize, set.data(), set.size(), Z_NO_COMPRESSION) !=
      Z_OK) {
    return {};
  }
  stream.resize(compressedSize);
  return BuildRawPayload(options, FILESET_MAGIC, static_cast<uint32_t>(set.size()), stream);
}

}  // namespace tulora::launcher
