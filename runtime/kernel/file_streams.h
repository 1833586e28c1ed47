// Files written piece by piece (file_commands.h), for both back-ends. The
// bytes go into a temporary file beside the file, which only a finish that
// keeps them renames into the file's place, so the file holds either all of
// the new bytes or what it held before, never part of them.
//
// `Platform` is the back-end's file access:
//   using Path = ...;  using Handle = ...;
//   static Path Temporary(const Path& path, int attempt);  // a temporary file's path
//   static Made Create(const Path& temporary, Handle* handle);  // a new file only
//   static bool Write(Handle handle, const uint8_t* data, uint32_t length);
//   static bool Close(Handle handle);
//   static bool Place(const Path& temporary, const Path& path);
//   static void Remove(const Path& temporary);
//
// A temporary file is always one the stream made itself: Create never opens
// what stands under the name already (a file, or a link planted there to
// be written through); the next attempt's name is tried instead.
//
// The lock is held while a temporary file is created and while it is renamed
// into place or removed, never while bytes are written, so the process end
// sees every temporary file that exists and need not wait for a write. A
// stream is used by one thread at a time.
#ifndef TULORA_RUNTIME_KERNEL_FILE_STREAMS_H
#define TULORA_RUNTIME_KERNEL_FILE_STREAMS_H

#include <stdint.h>

#include <memory>
#include <mutex>
#include <vector>

namespace tulora::rt {

// What Create made of a temporary file's name.
enum class Made { kCreated, kTaken, kFailed };

// Names tried for one stream's temporary file before it gives up. The
// crawl's folder names leave room for a retry number of two digits
// (crawler/folder_name.h).
inline constexpr int kTemporaryNameAttempts = 16;
static_assert(kTemporaryNameAttempts <= 100);

template <typename Platform>
class FileStreams {
 public:
  using Path = typename Platform::Path;
  using Handle = typename Platform::Handle;

  // Creates the temporary file of `path`: the new stream's number, never 0;
  // 0 when the file cannot be made or the process is ending.
  int32_t Open(const Path& path) {
    auto stream = std::make_unique<Stream>();
    stream->path = path;
    std::lock_guard<std::mutex> lock(mutex_);
    if (ending_ || !CreateTemporary(stream.get())) return 0;
    last_ = last_ == INT32_MAX ? 1 : last_ + 1;
    stream->id = last_;
    streams_.push_back(std::move(stream));
    return last_;
  }

  // Writes the bytes at the end of the stream's file. False when the stream
  // is unknown, or when this or an earlier write of it failed.
  bool Append(int32_t id, const uint8_t* data, uint32_t length) {
    Stream* stream = Find(id);
    if (stream == nullptr || stream->failed) return false;
    if (length > 0 && !Platform::Write(stream->handle, data, length)) stream->failed = true;
    return !stream->failed;
  }

  // Ends the stream. With `keep`, its file takes the place of the file
  // named at Open when every write succeeded; otherwise, or when that
  // fails, the temporary file is removed. True only when the file now
  // holds the stream's bytes.
  bool Finish(int32_t id, bool keep) {
    Stream* stream = Find(id);
    if (stream == nullptr) return false;
    const bool closed = Platform::Close(stream->handle);
    std::lock_guard<std::mutex> lock(mutex_);
    const bool placed =
        keep && closed && !stream->failed && Platform::Place(stream->temporary, stream->path);
    if (!placed) Platform::Remove(stream->temporary);
    std::erase_if(streams_, [stream](const auto& s) { return s.get() == stream; });
    return placed;
  }

  // The process end: removes every temporary file and keeps the lock until
  // the process ends, so no stream can create or rename a file after it.
  void Abandon() {
    mutex_.lock();
    ending_ = true;
    for (const auto& stream : streams_) Platform::Remove(stream->temporary);
  }

 private:
  struct Stream {
    int32_t id = 0;
    Handle handle{};
    Path path, temporary;
    bool failed = false;
  };

  // A new temporary file for the stream under the first name not taken.
  bool CreateTemporary(Stream* stream) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      stream->temporary = Platform::Temporary(stream->path, attempt);
      const Made made = Platform::Create(stream->temporary, &stream->handle);
      if (made != Made::kTaken) return made == Made::kCreated;
    }
    return false;
  }

  // Streams stay where they are until their own Finish, so the pointer
  // outlives the lock.
  Stream* Find(int32_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& stream : streams_) {
      if (stream->id == id) return stream.get();
    }
    return nullptr;
  }

  std::mutex mutex_;
  std::vector<std::unique_ptr<Stream>> streams_;
  int32_t last_ = 0;
  bool ending_ = false;
};

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_FILE_STREAMS_H
