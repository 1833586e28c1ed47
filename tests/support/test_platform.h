// What the runtime's tests need of the operating system, so that the tests
// themselves stay platform-neutral: the build's runtime libraries loaded as
// the launcher and the kernel load them, the standard streams pointed
// elsewhere inside a death test's child, a limit on the address space, guard
// pages and pipes.
#ifndef TULORA_TESTS_SUPPORT_TEST_PLATFORM_H
#define TULORA_TESTS_SUPPORT_TEST_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace tulora::test_platform {

// Loads a shared library file; null with `error` set when it cannot be.
void* LoadLibraryFile(const std::string& path, std::string* error);
// An exported symbol of a loaded library; null when it has none.
void* LibrarySymbol(void* library, const char* name);

// Standard output then goes where standard error goes (where a death test
// reads), and standard input reads as ended.
void SendOutputToErrorStream();
void TakeInputFromNothing();

// Limits the address space of this process; for a death test's child.
bool LimitAddressSpace(size_t bytes);

// While it lives, a write that would make a file larger than `bytes`
// fails (a full disk's stand-in) instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(size_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
  uint64_t saved_ = 0;
  void (*savedHandler_)(int) = nullptr;
};

// Whole pages of zeros holding at least `readable` bytes, followed by one
// page that cannot be read.
class GuardedPages {
 public:
  explicit GuardedPages(size_t readable);
  ~GuardedPages();
  GuardedPages(const GuardedPages&) = delete;
  GuardedPages& operator=(const GuardedPages&) = delete;

  uint8_t* begin() const { return begin_; }  // null when the pages could not be had
  // The readable bytes: the guard page begins right after them.
  size_t readableBytes() const { return readable_; }

 private:
  uint8_t* begin_ = nullptr;
  size_t bytes_ = 0, readable_ = 0;
};

// A pipe whose ends are the platform's stream handles (as the console
// commands take them). A reader of the read end waits for bytes unless the
// pipe is made with `readerWaits` false; ReadAvailable needs that.
class TestPipe {
 public:
  explicit TestPipe(bool readerWaits);
  ~TestPipe();
  TestPipe(const TestPipe&) = delete;
  TestPipe& operator=(const TestPipe&) = delete;

  bool ok() const { return ok_; }
  intptr_t readEnd() const { return ends_[0]; }
  intptr_t writeEnd() const { return ends_[1]; }
  // What has been written and not yet read.
  std::string ReadAvailable();
  bool Write(const std::string& bytes);
  // The reader sees the end of the stream; the write end stays a valid
  // handle (to nothing).
  void EndWriting();

 private:
  intptr_t ends_[2] = {-1, -1};
  bool ok_ = false;
};

}  // namespace tulora::test_platform

#endif  // TULORA_TESTS_SUPPORT_TEST_PLATFORM_H
