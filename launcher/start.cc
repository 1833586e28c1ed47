#include "launcher/start.h"

#include <cstring>
#include <span>

#include "launcher/payload.h"

namespace tulora::launcher {
namespace {

// A block from the platform, given back when it goes out of use. Its
// contents start undefined: a declared size is only touched as far as the
// data really goes.
class Block {
 public:
  explicit Block(const PlatformOps& os) : os_(os) {}
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  ~Block() { reset(); }

  bool Allocate(size_t size) {
    reset();
    data_ = os_.allocate(size);
    size_ = size;
    return data_ != nullptr;
  }
  void reset() {
    if (data_ != nullptr) os_.release(data_, size_);
    data_ = nullptr;
  }
  uint8_t* get() const { return data_; }

 private:
  const PlatformOps& os_;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// A fixed path buffer that refuses, rather than cuts, what does not fit.
class PathBuffer {
 public:
  bool Assign(const char* text) {
    length_ = 0;
    text_[0] = 0;
    return Append(text, std::strlen(text));
  }
  bool Append(const char* text, size_t count) {
    if (count >= PATH_BUFFER_SIZE - length_) return false;
    std::memcpy(text_ + length_, text, count);
    length_ += count;
    text_[length_] = 0;
    return true;
  }
  bool Append(char c) { return Append(&c, 1); }
  const char* c_str() const { return text_; }
  size_t size() const { return length_; }
  void Truncate(size_t length) {
    length_ = length;
    text_[length] = 0;
  }

 private:
  char text_[PATH_BUFFER_SIZE] = {};
  size_t length_ = 0;
};

// The work of one start, step by step; each step returns null or the
// message that ends the start.
class Start {
 public:
  explicit Start(const PlatformOps& os) : os_(os), payload_(os), fileSet_(os) {}

  const char* ReadPayload();
  const char* PrepareDirectory();
  const char* ExtractFiles();
  const char* LoadKernel();
  RuntimeEntry entry() const { return entry_; }

 private:
  const char* ReadTrailer(int64_t& position);
  const char* WriteRecords(const FileSet& set);

  const PlatformOps& os_;
  intptr_t file_ = -1;
  Block payload_;
  uint32_t payloadLength_ = 0;
  BodyLayout layout_;
  PathBuffer directory_;  // the extraction directory, ending in the separator
  Block fileSet_;
  size_t fileSetSize_ = 0;
  std::string kernelName_;
  RuntimeEntry entry_ = nullptr;
};

const char* Start::ReadTrailer(int64_t& position) {
  position = os_.seekFromEnd(file_, -static_cast<int64_t>(TRAILER_SIZE));
  if (const char* m = CheckTrailerPosition(position)) return m;
  uint8_t trailer[TRAILER_SIZE];
  if (os_.read(file_, trailer, TRAILER_SIZE) != static_cast<int64_t>(TRAILER_SIZE)) {
    return messages::kReadFailed;
  }
  return CheckTrailer(std::span<const uint8_t, TRAILER_SIZE>(trailer), position, payloadLength_);
}

// Steps 1 to 6: module path, open, trailer, payload buffer, payload.
const char* Start::ReadPayload() {
  char modulePath[PATH_BUFFER_SIZE] = {};
  if (!os_.modulePath(modulePath, sizeof modulePath)) return messages::kCantOpenFile;
  file_ = os_.openForRead(modulePath);
  if (file_ < 0) return messages::kCantOpenFile;
  int64_t position = 0;
  if (const char* m = ReadTrailer(position)) return m;
  if (!payload_.Allocate(payloadLength_)) return messages::kNoMemory;
  const int64_t start = -static_cast<int64_t>(TRAILER_SIZE) - payloadLength_;
  if (os_.seekFromEnd(file_, start) < 0 ||
      os_.read(file_, payload_.get(), payloadLength_) != static_cast<int64_t>(payloadLength_)) {
    return messages::kPayloadReadFailed;
  }
  return CheckPayloadMagic(std::span<const uint8_t>(payload_.get(), payloadLength_));
}

// Steps 7 to 12. The body is checked before the directory is made, so a
// broken payload leaves nothing behind in the temporary directory.
const char* Start::PrepareDirectory() {
  char temp[PATH_BUFFER_SIZE] = {};
  const size_t tempLength = os_.tempPath(temp, sizeof temp);
  if (tempLength == 0) return messages::kNoTempDirectory;
  if (tempLength >= sizeof temp) return messages::kPathTooLong;
  std::span<uint8_t> payload(payload_.get(), payloadLength_);
  ScrambleBody(payload);
  if (const char* m = CheckBody(payload, layout_)) return m;
  if (!directory_.Assign(temp) ||
      !directory_.Append(layout_.directoryName.data(), layout_.directoryName.size())) {
    return messages::kPathTooLong;
  }
  if (const char* m = os_.makeExtractionDirectory(directory_.c_str())) return m;
  if (!directory_.Append(os_.separator)) return messages::kPathTooLong;
  return nullptr;
}

const char* Start::WriteRecords(const FileSet& set) {
  const size_t base = directory_.size();
  for (const FileSetRecord& record : set.records) {  // every path fits before any is written
    if (!directory_.Append(record.name.data(), record.name.size())) return messages::kPathTooLong;
    directory_.Truncate(base);
  }
  for (const FileSetRecord& record : set.records) {
    directory_.Append(record.name.data(), record.name.size());
    os_.writeFile(directory_.c_str(), record.contents, record.size);
    directory_.Truncate(base);
  }
  return nullptr;
}

// Steps 13 to 16: inflate, release the payload, walk and write the set.
const char* Start::ExtractFiles() {
  if (!fileSet_.Allocate(layout_.inflatedSize)) return messages::kNoMemory;
  std::span<const uint8_t> stream(payload_.get() + layout_.streamOffset,
                                  payloadLength_ - layout_.streamOffset);
  if (const char* m = InflateFileSet(stream, fileSet_.get(), layout_.inflatedSize, fileSetSize_)) {
    fileSet_.reset();
    return m;
  }
  payload_.reset();
  FileSet set;
  if (const char* m = WalkFileSet(std::span<const uint8_t>(fileSet_.get(), fileSetSize_), set)) {
    return m;
  }
  kernelName_ = set.kernelName;
  return WriteRecords(set);
}

// Step 17: load the kernel library and ask it for the runtime entry.
const char* Start::LoadKernel() {
  if (kernelName_.empty()) return messages::kNoKernel;
  if (!directory_.Append(kernelName_.data(), kernelName_.size())) return messages::kPathTooLong;
  void* library = os_.loadLibrary(directory_.c_str());
  if (library == nullptr) return messages::kKernelLoadFailed;
  auto getNewSock = reinterpret_cast<GetNewSockFunction>(os_.findExport(library, KERNEL_EXPORT));
  if (getNewSock == nullptr) return messages::kKernelInvalid;
  entry_ = getNewSock(KERNEL_INTERFACE_VERSION);
  if (entry_ == nullptr) return messages::kKernelInterfaceInvalid;
  return nullptr;
}

}  // namespace

int StartRoutine(const PlatformOps& os, const void* programImage) {
  RuntimeEntry entry = nullptr;
  const char* message = nullptr;
  {
    Start start(os);
    message = start.ReadPayload();
    if (!message) message = start.PrepareDirectory();
    if (!message) message = start.ExtractFiles();
    if (!message) message = start.LoadKernel();
    entry = start.entry();
  }  // step 18: the payload and the inflated set are released here
  if (message) {
    os.showError(message);
    return 0;
  }
  entry(programImage);
  return 0;
}

}  // namespace tulora::launcher
