#include "runtime/kernel/file_commands.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "runtime/kernel/unfinished_writes.h"
#include "runtime/text/gbk_text.h"

namespace tulora::rt {
namespace {

UnfinishedWrites<std::string>& Unfinished() {
  static auto* writes = new UnfinishedWrites<std::string>;  // used until the process ends
  return *writes;
}

std::string TemporaryPath(const std::string& path) {
  const size_t name = path.rfind('/') + 1;  // 0 when there is no folder
  return path.substr(0, name) + "." + path.substr(name) + "." + std::to_string(getpid()) + ".part";
}

bool WriteAll(int fd, const uint8_t* data, uint32_t length) {
  uint32_t done = 0;
  while (done < length) {
    ssize_t n = write(fd, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<uint32_t>(n);
  }
  return true;
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

bool WriteWholeFile(const char* gbkPath, const uint8_t* data, uint32_t length) {
  const std::string path = NativePath(gbkPath);
  if (path.empty() || path.back() == '/') return false;
  const std::string temporary = TemporaryPath(path);
  UnfinishedWrites<std::string>& writes = Unfinished();
  int fd = -1;
  const auto create = [&] {
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd >= 0;
  };
  if (!writes.Begin(temporary, create)) return false;
  const bool written = WriteAll(fd, data, length);
  const bool closed = close(fd) == 0;
  return writes.End(temporary, [&] {
    const bool placed = written && closed && rename(temporary.c_str(), path.c_str()) == 0;
    if (!placed) unlink(temporary.c_str());
    return placed;
  });
}

void AbandonUnfinishedWrites() {
  Unfinished().Abandon([](const std::string& path) { unlink(path.c_str()); });
}

}  // namespace tulora::rt
