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
//   contents instead of being truncated under it. A file that already is
//   exactly what would be written (a regular file of the user's, mode 0700,
//   the same bytes) is left as it is: every start but the first then reads
//   the runtime files instead of writing them again. Anything else there,
//   a symbolic link included, is replaced.
// - The payload and the inflated file set of the program (some 0.3 MiB
//   each) come from the C heap, which from the first of them on keeps up
//   to 1 MiB of freed memory and maps nothing below 1 MiB for itself: the
//   memory the start touched stays in the heap when the blocks are given
//   back, and the runtime's first allocations (the transfer and TLS
//   libraries take about 1 MiB) reuse it, where fresh pages cost a fault
//   each (some 125 of a run's 1000). The settings hold for the whole
//   process.
// - A block of 1 MiB or more is mapped for itself, aligned to 2 MiB and
//   offered to the kernel for transparent huge pages: a few faults instead
//   of one per 4 KiB page, which makes inflating a large set several times
//   faster. Where huge pages are off, the same block simply gets ordinary
//   pages.
// - The error message is one line on standard error: "Error: <message>".
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
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

constexpr size_t kSmallPage = 4096;
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kMappedBlockFrom = size_t{1} << 20;
// A part of a mapped block past its last full huge page gets a huge page
// of its own from this size on; a smaller one gets ordinary pages, since
// zeroing a whole huge page then costs more than the faults it saves.
constexpr size_t kHugeTailFrom = size_t{512} << 10;

size_t RoundUp(size_t size, size_t unit) { return (size + unit - 1) & ~(unit - 1); }

// The mapped length of a block of `size` bytes (kMappedBlockFrom or more);
// 0 when it cannot be mapped.
size_t BlockLength(size_t size) {
  if (size > SIZE_MAX - 2 * kHugePage) return 0;
  const bool hugeTail = size % kHugePage >= kHugeTailFrom;
  return RoundUp(size, hugeTail ? kHugePage : kSmallPage);
}

void KeepFreedMemoryInHeap() {
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMappedBlockFrom));
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(kMappedBlockFrom));
}

uint8_t* MappedBlock(size_t size) {
  const size_t length = BlockLength(size);
  if (length == 0) return nullptr;
  const size_t slack = kHugePage;
  void* mapped =
      mmap(nullptr, length + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  // Keep only the part that starts on a huge-page boundary.
  const uintptr_t first = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t start = RoundUp(first, kHugePage);
  if (start > first) munmap(mapped, start - first);
  munmap(reinterpret_cast<void*>(start + length), slack - (start - first));
  madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
  return reinterpret_cast<uint8_t*>(start);
}

uint8_t* PosixAllocate(size_t size) {
  if (size >= kMappedBlockFrom) return MappedBlock(size);
  KeepFreedMemoryInHeap();
  return static_cast<uint8_t*>(std::malloc(size == 0 ? 1 : size));
}

void PosixRelease(uint8_t* block, size_t size) {
  if (size >= kMappedBlockFrom) {
    munmap(block, BlockLength(size));
  } else {
    std::free(block);
  }
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

bool HoldsExactly(int fd, const uint8_t* data, size_t size) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
      (info.st_mode & 07777) != 0700 || static_cast<uint64_t>(info.st_size) != size) {
    return false;
  }
  // The chunk comes from the heap, where the payload's block, given back
  // before the files are written, has left pages already touched.
  constexpr size_t kChunk = 64 << 10;
  uint8_t* chunk = static_cast<uint8_t*>(std::malloc(kChunk));
  if (chunk == nullptr) return false;
  size_t done = 0;
  while (done < size) {
    const size_t want = std::min(kChunk, size - done);
    const int64_t n = PosixRead(fd, chunk, want);
    if (n != static_cast<int64_t>(want) || std::memcmp(chunk, data + done, want) != 0) break;
    done += want;
  }
  std::free(chunk);
  return done == size;
}

bool AlreadyWritten(const char* path, const uint8_t* data, size_t size) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool same = HoldsExactly(fd, data, size);
  close(fd);
  return same;
}

void PosixWriteFile(const char* path, const uint8_t* data, size_t size) {
  if (AlreadyWritten(path, data, size)) return;
  char temp[PATH_BUFFER_SIZE + 16];
  if (std::snprintf(temp, sizeof temp, "%s.XXXXXX", path) >= static_cast<int>(sizeof temp)) return;
  const int fd = mkostemp(temp, O_CLOEXEC);
  if (fd < 0) return;
  const bool written = WriteAll(fd, data, size) && fchmod(fd, 0700) == 0;
  close(fd);
  if (!written || rename(temp, path) != 0) unlink(temp);
}

// Lazy binding: the kernel library's dependencies (the transfer library
// and everything it brings) bind a function at its first call instead of
// binding all of theirs before the program starts, which took a start some
// 3 ms. The kernel library itself is linked with nothing left undefined.
void* PosixLoadLibrary(const char* path) { return dlopen(path, RTLD_LAZY | RTLD_LOCAL); }

void* PosixFindExport(void* library, const char* name) { return dlsym(library, name); }

void PosixShowError(const char* message) { std::fprintf(stderr, "Error: %s\n", message); }

const PlatformOps kPosix = {
    PosixModulePath,
    PosixOpenForRead,
    PosixSeekFromEnd,
    PosixRead,
    PosixAllocate,
    PosixRelease,
    PosixTempPath,
    PosixMakeExtractionDirectory,
    PosixWriteFile,
    PosixLoadLibrary,
    PosixFindExport,
    PosixShowError,
    '/',
};

}  // namespace

const PlatformOps& HostPlatform() { return kPosix; }

}  // namespace tulora::launcher
