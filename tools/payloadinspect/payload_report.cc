#include "tools/payloadinspect/payload_report.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <vector>

#include "launcher/payload.h"
#include "tools/imageinspect/image_report.h"
#include "tools/pefile/pe_file.h"

namespace tulora::payloadinspect {
namespace {

using namespace tulora::launcher;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return line;
}

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> file) : file_(file) {}

  PayloadReport Run() {
    DescribeExecutable();
    const char* failure = ReadTrailer();
    if (failure == nullptr) failure = ReadBody();
    if (failure == nullptr) failure = ReadFileSet();
    if (failure != nullptr) out_ += Format("refused: %s\n", failure);
    return {out_, failure};
  }

 private:
  // A Windows executable's kind and where its sections' raw data ends.
  void DescribeExecutable() {
    if (!pefile::LooksLikePe(file_)) return;
    pefile::PeFile pe;
    std::string error;
    if (!pefile::ReadPe(file_, pe, error)) {
      out_ += Format("PE: unreadable (%s)\n", error.c_str());
      return;
    }
    sectionsEnd_ = pe.RawDataEnd();
    out_ += Format("PE: machine 0x%04X, %zu sections, raw data ends at offset %llu\n", pe.machine,
                   pe.sections.size(), static_cast<unsigned long long>(sectionsEnd_));
  }

  const char* ReadTrailer() {
    const int64_t position = static_cast<int64_t>(file_.size()) - int64_t{TRAILER_SIZE};
    out_ += Format("file: %zu bytes, trailer at %lld\n", file_.size(),
                   static_cast<long long>(position));
    if (const char* failure = CheckTrailerPosition(position)) return failure;
    std::span<const uint8_t, TRAILER_SIZE> trailer(file_.data() + position, TRAILER_SIZE);
    out_ += Format("PayloadTrailer: length %u, magic 0x%08X\n", ReadLe32(trailer.data()),
                   ReadLe32(trailer.data() + 4));
    uint32_t length = 0;
    if (const char* failure = CheckTrailer(trailer, position, length)) return failure;
    const size_t start = static_cast<size_t>(position) - length;
    out_ += Format("payload: %u bytes at file offset %zu%s\n", length, start,
                   start == sectionsEnd_ ? ", right after the sections' raw data" : "");
    payload_.assign(file_.begin() + start, file_.begin() + position);
    if (const char* failure = CheckPayloadMagic(payload_)) return failure;
    out_ += Format("PayloadHeader: magic 0x%08X, directory id 0x%08X, key 0x%08X\n",
                   ReadLe32(payload_.data()), ReadLe32(payload_.data() + 4),
                   ReadLe32(payload_.data() + 8));
    return nullptr;
  }

  const char* ReadBody() {
    ScrambleBody(payload_);
    const bool stored = payload_.size() > PAYLOAD_HEADER_SIZE && payload_[PAYLOAD_HEADER_SIZE] != 0;
    if (const char* failure = CheckBody(payload_, layout_)) return failure;
    out_ += Format("directory: %s (%s)\n", imageinspect::QuoteText(layout_.directoryName).c_str(),
                   stored ? "stored" : "from the directory id");
    out_ += Format("FileSetHeader: at payload offset %zu, magic 0x%08X, inflated size %u\n",
                   layout_.fileSetHeaderOffset,
                   ReadLe32(payload_.data() + layout_.fileSetHeaderOffset), layout_.inflatedSize);
    return nullptr;
  }

  const char* ReadFileSet() {
    std::span<const uint8_t> stream(payload_.data() + layout_.streamOffset,
                                    payload_.size() - layout_.streamOffset);
    try {
      inflated_.resize(layout_.inflatedSize);  // up to 2 GiB, as the header declares
    } catch (const std::bad_alloc&) {
      return messages::kNoMemory;
    }
    size_t produced = 0;
    if (const char* failure =
            InflateFileSet(stream, inflated_.data(), inflated_.size(), produced)) {
      return failure;
    }
    inflated_.resize(produced);
    out_ += Format("file set: %zu-byte stream inflated to %zu bytes\n", stream.size(), produced);
    FileSet set;
    if (const char* failure = WalkFileSet(inflated_, set)) return failure;
    for (const FileSetRecord& record : set.records) {
      out_ += Format("  %-24s %10u bytes%s\n",
                     imageinspect::QuoteText(std::string(record.name)).c_str(), record.size,
                     IsKernelLibraryName(record.name) ? "  (kernel library name)" : "");
    }
    out_ += Format("records: %zu\n", set.records.size());
    if (set.kernelName.empty()) return messages::kNoKernel;
    out_ += Format("kernel library: %s\n", imageinspect::QuoteText(set.kernelName).c_str());
    return nullptr;
  }

  std::span<const uint8_t> file_;
  uint64_t sectionsEnd_ = UINT64_MAX;  // a PE's end of raw data
  std::vector<uint8_t> payload_, inflated_;
  BodyLayout layout_{};
  std::string out_;
};

}  // namespace

PayloadReport DescribePayload(std::span<const uint8_t> file) { return Reader(file).Run(); }

}  // namespace tulora::payloadinspect
