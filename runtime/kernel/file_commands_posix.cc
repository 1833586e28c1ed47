#include "runtime/kernel/file_commands.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "runtime/text/gbk_text.h"

namespace tulora::rt {

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
  std::string path = NativePath(gbkPath);
  if (path.empty()) return false;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  uint32_t done = 0;
  while (done < length) {
    ssize_t n = write(fd, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<uint32_t>(n);
  }
  bool closed = close(fd) == 0;
  return closed && done == length;
}

}  // namespace tulora::rt
