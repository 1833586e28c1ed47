#include "runtime/kernel/file_commands.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "runtime/kernel/file_streams.h"
#include "runtime/text/gbk_text.h"

namespace tulora::rt {
namespace {

struct PosixFiles {
  using Path = std::string;
  using Handle = int;

  static Path Temporary(const Path& path, int attempt) {
    const size_t name = path.rfind('/') + 1;  // 0 when there is no folder
    return path.substr(0, name) + "." + path.substr(name) + "." + std::to_string(getpid()) +
           (attempt == 0 ? "" : "." + std::to_string(attempt)) + ".part";
  }
  // O_EXCL: never a file or link that stands there already.
  static Made Create(const Path& temporary, Handle* fd) {
    *fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (*fd >= 0) return Made::kCreated;
    return errno == EEXIST ? Made::kTaken : Made::kFailed;
  }
  static bool Write(Handle fd, const uint8_t* data, uint32_t length) {
    uint32_t done = 0;
    while (done < length) {
      ssize_t n = write(fd, data + done, length - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<uint32_t>(n);
    }
    return true;
  }
  static bool Close(Handle fd) { return close(fd) == 0; }
  static bool Place(const Path& temporary, const Path& path) {
    return rename(temporary.c_str(), path.c_str()) == 0;
  }
  static void Remove(const Path& temporary) { unlink(temporary.c_str()); }
};

FileStreams<PosixFiles>& Streams() {
  static auto* streams = new FileStreams<PosixFiles>;  // used until the process ends
  return *streams;
}

}  // namespace

// The separator is replaced after the conversion: in GBK the byte 0x5C may
// be the second byte of a character, in UTF-8 it is always "\".
std::string NativePath(const char* gbkPath) {
  std::string path = GbkToUtf8(gbkPath, std::strlen(gbkPath));
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string RunningDirectory() {
  std::string buffer(4096, '\0');
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  while (!buffer.empty() && buffer.back() == '/') buffer.pop_back();
  return Utf8ToGbk(buffer.data(), buffer.size());
}

bool CreateDirectoryAt(const char* gbkPath) {
  std::string path = NativePath(gbkPath);
  return !path.empty() && mkdir(path.c_str(), 0777) == 0;
}

int32_t OpenFileStream(const char* gbkPath) {
  const std::string path = NativePath(gbkPath);
  if (path.empty() || path.back() == '/') return 0;
  return Streams().Open(path);
}

bool AppendToFileStream(int32_t stream, const uint8_t* data, uint32_t length) {
  return Streams().Append(stream, data, length);
}

bool FinishFileStream(int32_t stream, bool keep) { return Streams().Finish(stream, keep); }

void AbandonUnfinishedWrites() { Streams().Abandon(); }

}  // namespace tulora::rt
