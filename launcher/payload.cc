#include "launcher/payload.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

namespace tulora::launcher {

uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void WriteLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// A file shorter than the trailer has no position 8 bytes before its end; it
// is refused by the same rule as one whose trailer starts too early.
const char* CheckTrailerPosition(int64_t trailerPosition) {
  if (trailerPosition < MIN_TRAILER_POSITION) return messages::kInvalidData;
  return nullptr;
}

const char* CheckTrailer(std::span<const uint8_t, TRAILER_SIZE> trailer, int64_t trailerPosition,
                         uint32_t& length) {
  if (ReadLe32(trailer.data() + 4) != PAYLOAD_MAGIC) return messages::kInvalidData;
  const int32_t signedLength = static_cast<int32_t>(ReadLe32(trailer.data()));
  if (signedLength < 4 || signedLength >= trailerPosition) return messages::kInvalidData;
  length = static_cast<uint32_t>(signedLength);
  return nullptr;
}

const char* CheckPayloadMagic(std::span<const uint8_t> payload) {
  if (payload.size() < 4 || ReadLe32(payload.data()) != PAYLOAD_MAGIC) {
    return messages::kPayloadReadFailed;
  }
  return nullptr;
}

void ScrambleBody(std::span<uint8_t> payload) {
  if (payload.size() <= PAYLOAD_HEADER_SIZE) return;
  uint8_t key[4];
  std::memcpy(key, payload.data() + 8, 4);  // the key as stored: byte k = bits 8k..8k+7
  uint8_t* body = payload.data() + PAYLOAD_HEADER_SIZE;
  const size_t bodySize = payload.size() - PAYLOAD_HEADER_SIZE;
  // Eight bytes at a time with the key pattern of body bytes 0..7, then the
  // rest byte by byte; both follow body[j] ^= key[(j + 1) mod 4].
  uint8_t pattern[8];
  for (size_t j = 0; j < 8; ++j) pattern[j] = key[(j + 1) & 3];
  uint64_t wide;
  std::memcpy(&wide, pattern, 8);
  size_t j = 0;
  for (; j + 8 <= bodySize; j += 8) {
    uint64_t chunk;
    std::memcpy(&chunk, body + j, 8);
    chunk ^= wide;
    std::memcpy(body + j, &chunk, 8);
  }
  for (; j < bodySize; ++j) body[j] ^= key[(j + 1) & 3];
}

std::string DefaultDirectoryName(uint32_t directoryId) {
  char name[16];
  std::snprintf(name, sizeof name, "V_N%X", directoryId);
  return name;
}

const char* CheckBody(std::span<const uint8_t> payload, BodyLayout& layout) {
  const size_t size = payload.size();
  if (size <= 20) return messages::kInvalidData;  // L - 20 must be > 0
  const uint8_t* body = payload.data() + PAYLOAD_HEADER_SIZE;
  const auto* nul = static_cast<const uint8_t*>(std::memchr(body, 0, size - PAYLOAD_HEADER_SIZE));
  if (nul == nullptr) return messages::kInvalidData;
  const size_t headerOffset = static_cast<size_t>(nul - payload.data()) + 1;
  if (size - headerOffset < FILESET_HEADER_SIZE) return messages::kInvalidData;
  if (ReadLe32(payload.data() + headerOffset) != FILESET_MAGIC) return messages::kInvalidData;
  const int32_t inflated = static_cast<int32_t>(ReadLe32(payload.data() + headerOffset + 4));
  if (inflated <= 0) return messages::kInvalidData;

  layout.directoryName = (body[0] == 0) ? DefaultDirectoryName(ReadLe32(payload.data() + 4))
                                        : std::string(reinterpret_cast<const char*>(body),
                                                      static_cast<size_t>(nul - body));
  if (!IsPlainName(layout.directoryName)) return messages::kInvalidData;
  layout.fileSetHeaderOffset = headerOffset;
  layout.inflatedSize = static_cast<uint32_t>(inflated);
  layout.streamOffset = headerOffset + FILESET_HEADER_SIZE;
  return nullptr;
}

// One call of zlib's uncompress into the buffer of the declared size. It
// succeeds only when the stream ends, with a matching Adler-32, within that
// size; a stream that needs more room, is cut short, asks for a preset
// dictionary or is damaged fails, and bytes after the stream are ignored.
const char* InflateFileSet(std::span<const uint8_t> stream, uint8_t* out, size_t declaredSize,
                           size_t& produced) {
  uLongf written = static_cast<uLongf>(declaredSize);
  const int rc = uncompress(out, &written, stream.data(), static_cast<uLong>(stream.size()));
  if (rc == Z_MEM_ERROR) return messages::kNoMemory;
  if (rc != Z_OK) return messages::kDecompressFailed;
  produced = written;
  return nullptr;
}

bool IsKernelLibraryName(std::string_view name) {
  if (name.size() != 9) return false;
  constexpr std::string_view base = "ostra.vl";
  for (size_t i = 0; i < base.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != base[i]) return false;
  }
  const char last = name[8];
  return last == 'r' || last == 'R' || last == 'b' || last == 'B';
}

bool IsPlainName(std::string_view name) {
  if (name == "." || name == "..") return false;
  return name.find_first_of("/\\") == std::string_view::npos;
}

// Reads one record at `cursor`; false when it runs past the end.
static bool ReadRecord(std::span<const uint8_t> data, size_t& cursor, FileSetRecord& record) {
  const size_t left = data.size() - cursor;
  const auto* start = data.data() + cursor;
  const auto* nul = static_cast<const uint8_t*>(std::memchr(start, 0, left));
  if (nul == nullptr) return false;
  const size_t nameLength = static_cast<size_t>(nul - start);
  if (left - nameLength - 1 < 4) return false;
  const uint32_t size = ReadLe32(nul + 1);
  const size_t afterSize = nameLength + 1 + 4;
  if (left - afterSize < size) return false;
  record = {std::string_view(reinterpret_cast<const char*>(start), nameLength), size,
            start + afterSize};
  cursor += afterSize + size;
  return true;
}

const char* WalkFileSet(std::span<const uint8_t> data, FileSet& set) {
  set = {};
  size_t cursor = 0;
  while (cursor < data.size()) {
    FileSetRecord record;
    if (!ReadRecord(data, cursor, record) || !IsPlainName(record.name)) {
      set = {};
      return messages::kInvalidData;
    }
    if (IsKernelLibraryName(record.name)) set.kernelName = std::string(record.name);
    set.records.push_back(record);
  }
  return nullptr;
}

}  // namespace tulora::launcher
