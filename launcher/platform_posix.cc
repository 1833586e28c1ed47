// The launcher's platform table on Linux.
//
// - The module path is the running executable (/proc/self/exe).
// - The temporary directory is $TMPDIR, or /tmp when it is unset or empty.
// - The extraction directory is made with mode 0700. Since the temporary
//   directory is shared between users, a directory that is a symbolic link,
//   is not owned by the user or can be written by group or others is
//   refused: a library planted there would otherwise be loaded.
// - Files are written to a new temporary name and renamed over the old one,
//   so a library that another running instance has mapped keeps its old
//   contents instead of being truncated under it.
// - The error message is one line on standard error: "Error: <message>".
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "launcher/payload.h"
#include "launcher/platform.h"

namespace tulora::launcher {
namespace {

bool PosixModulePath(char* buffer, size_t size) {
  const ssize_t n = readlink("/proc/self/exe", buffer, size);
  if (n <= 0 || static_cast<size_t>(n) >= size) return false;
  buffer[n] = 0;
  return true;
}

intptr_t PosixOpenForRead(const char* path) { return open(path, O_RDONLY | O_CLOEXEC); }

int64_t PosixSeekFromEnd(intptr_t file, int64_t distance) {
  const off_t position = lseek(static_cast<int>(file), distance, SEEK_END);
  return position < 0 ? -1 : position;
}

int64_t PosixRead(intptr_t file, void* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = read(static_cast<int>(file), static_cast<char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

size_t PosixTempPath(char* buffer, size_t size) {
  const char* dir = std::getenv("TMPDIR");
  if (dir == nullptr || *dir == 0) dir = "/tmp";
  const size_t length = std::strlen(dir);
  const bool addSeparator = dir[length - 1] != '/';
  const size_t needed = length + (addSeparator ? 1 : 0);
  if (needed >= size) return needed;
  std::memcpy(buffer, dir, length);
  if (addSeparator) buffer[length] = '/';
  buffer[needed] = 0;
  return needed;
}

const char* PosixMakeExtractionDirectory(const char* path) {
  mkdir(path, 0700);  // an existing directory is simply used
  struct stat info;
  if (lstat(path, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid() ||
      (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return messages::kBadExtractionDirectory;
  }
  return nullptr;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void PosixWriteFile(const char* path, const uint8_t* data, size_t size) {
  char temp[PATH_BUFFER_SIZE + 16];
  if (std::snprintf(temp, sizeof temp, "%s.XXXXXX", path) >= static_cast<int>(sizeof temp)) return;
  const int fd = mkostemp(temp, O_CLOEXEC);
  if (fd < 0) return;
  const bool written = WriteAll(fd, data, size) && fchmod(fd, 0700) == 0;
  close(fd);
  if (!written || rename(temp, path) != 0) unlink(temp);
}

void* PosixLoadLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }

void* PosixFindExport(void* library, const char* name) { return dlsym(library, name); }

void PosixShowError(const char* message) { std::fprintf(stderr, "Error: %s\n", message); }

const PlatformOps kPosix = {
    PosixModulePath, PosixOpenForRead, PosixSeekFromEnd,  PosixRead,
    PosixTempPath,   PosixMakeExtractionDirectory,        PosixWriteFile,
    PosixLoadLibrary, PosixFindExport, PosixShowError,    '/',
};

}  // namespace

const PlatformOps& HostPlatform() { return kPosix; }

}  // namespace tulora::launcher
