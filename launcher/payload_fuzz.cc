// Fuzz target: the payload reader on arbitrary executable tails. The input is
// the end of an executable (1000 bytes of code are put in front of it); the
// reader's rules run in the launcher's order on it. What passes a rule must
// hold what the rule promises:
// - an accepted body has a plain directory name and a header inside the
//   payload, and the writer builds the same payload from what was read;
// - an inflated set is no larger than declared, and a walked set is exactly
//   its records written back to back, with plain names and the last kernel
//   library name among them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "launcher/payload.h"

using namespace tulora::launcher;
using Bytes = std::vector<uint8_t>;

// Declared sizes above this are not inflated here, only to keep the fuzzer
// within its memory limit; the launcher itself allocates whatever is declared.
constexpr uint32_t kMaxInflated = 16u << 20;

static void Check(bool ok) {
  if (!ok) std::abort();
}

// The restored payload, scrambled again by the writer from its parts, must
// be the payload as read (the trailer is the writer's addition).
static void CheckRebuilt(const Bytes& restored, const Bytes& asRead, const BodyLayout& layout) {
  Check(layout.fileSetHeaderOffset + FILESET_HEADER_SIZE == layout.streamOffset);
  Check(layout.streamOffset <= restored.size());
  const bool named = restored[PAYLOAD_HEADER_SIZE] != 0;
  Check(IsPlainName(layout.directoryName));
  if (!named) Check(layout.directoryName == DefaultDirectoryName(ReadLe32(restored.data() + 4)));
  const PayloadOptions options{ReadLe32(restored.data() + 4), ReadLe32(restored.data() + 8),
                               named ? layout.directoryName : ""};
  Bytes rebuilt = BuildRawPayload(options, FILESET_MAGIC, layout.inflatedSize,
                                  std::span<const uint8_t>(restored).subspan(layout.streamOffset));
  rebuilt.resize(rebuilt.size() - TRAILER_SIZE);
  Check(rebuilt == asRead);
}

static void CheckWalk(std::span<const uint8_t> set, const FileSet& walked) {
  std::vector<PayloadFile> files;
  std::string kernel;
  for (const FileSetRecord& r : walked.records) {
    Check(IsPlainName(r.name));
    Check(r.contents >= set.data() && r.size <= set.size() &&
          r.contents - set.data() <= static_cast<ptrdiff_t>(set.size() - r.size));
    if (IsKernelLibraryName(r.name)) kernel = std::string(r.name);
    files.push_back({std::string(r.name), Bytes(r.contents, r.contents + r.size)});
  }
  Check(walked.kernelName == kernel);
  Check(SerializeFileSet(files) == Bytes(set.begin(), set.end()));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes file(1000, 0x90);
  file.insert(file.end(), data, data + size);
  const int64_t position = static_cast<int64_t>(file.size()) - 8;
  if (CheckTrailerPosition(position) != nullptr) return 0;
  uint32_t length = 0;
  if (CheckTrailer(std::span<const uint8_t, TRAILER_SIZE>(file.data() + position, TRAILER_SIZE),
                   position, length) != nullptr) {
    return 0;
  }
  Check(length >= 4 && length < position);
  const Bytes asRead(file.begin() + (position - length), file.begin() + position);
  if (CheckPayloadMagic(asRead) != nullptr) return 0;
  Bytes payload = asRead;
  ScrambleBody(payload);
  BodyLayout layout;
  if (CheckBody(payload, layout) != nullptr) return 0;
  CheckRebuilt(payload, asRead, layout);
  if (layout.inflatedSize > kMaxInflated) return 0;

  std::unique_ptr<uint8_t[]> set(new uint8_t[layout.inflatedSize]);
  size_t produced = 0;
  const auto stream = std::span<const uint8_t>(payload).subspan(layout.streamOffset);
  if (InflateFileSet(stream, set.get(), layout.inflatedSize, produced) != nullptr) return 0;
  Check(produced <= layout.inflatedSize);
  const std::span<const uint8_t> inflated(set.get(), produced);
  FileSet walked;
  if (WalkFileSet(inflated, walked) == nullptr) {
    CheckWalk(inflated, walked);
  } else {
    Check(walked.records.empty() && walked.kernelName.empty());
  }
  return 0;
}
