#include "tests/support/test_platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tulora::test_platform {

void* LoadLibraryFile(const std::string& path, std::string* error) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    *error = why ? why : path;
  }
  return library;
}

void* LibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

void SendOutputToErrorStream() { dup2(STDERR_FILENO, STDOUT_FILENO); }

void TakeInputFromNothing() {
  int none = open("/dev/null", O_RDONLY);
  if (none >= 0) {
    dup2(none, STDIN_FILENO);
    close(none);
  }
}

bool LimitAddressSpace(size_t bytes) {
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = bytes;
  return setrlimit(RLIMIT_AS, &limit) == 0;
}

FileSizeLimit::FileSizeLimit(size_t bytes) {
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) return;
  saved_ = limit.rlim_cur;
  savedHandler_ = signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = bytes;
  ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = saved_;
  setrlimit(RLIMIT_FSIZE, &limit);
  signal(SIGXFSZ, savedHandler_);
}

GuardedPages::GuardedPages(size_t readable) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t pages = (readable + page - 1) / page + 1;
  void* area =
      mmap(nullptr, pages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) return;
  begin_ = static_cast<uint8_t*>(area);
  bytes_ = pages * page;
  readable_ = (pages - 1) * page;
  if (mprotect(begin_ + readable_, page, PROT_NONE) != 0) {
    munmap(begin_, bytes_);
    begin_ = nullptr;
  }
}

GuardedPages::~GuardedPages() {
  if (begin_ != nullptr) munmap(begin_, bytes_);
}

TestPipe::TestPipe(bool readerWaits) {
  int fds[2];
  if (pipe(fds) != 0) return;
  if (!readerWaits) fcntl(fds[0], F_SETFL, O_NONBLOCK);
  ends_[0] = fds[0];
  ends_[1] = fds[1];
  ok_ = true;
}

TestPipe::~TestPipe() {
  for (intptr_t end : ends_) {
    if (end >= 0) close(static_cast<int>(end));
  }
}

std::string TestPipe::ReadAvailable() {
  std::string all;
  char buffer[256];
  ssize_t n;
  while ((n = read(static_cast<int>(ends_[0]), buffer, sizeof buffer)) > 0) all.append(buffer, n);
  return all;
}

bool TestPipe::Write(const std::string& bytes) {
  return write(static_cast<int>(ends_[1]), bytes.data(), bytes.size()) ==
         static_cast<ssize_t>(bytes.size());
}

void TestPipe::EndWriting() {
  close(static_cast<int>(ends_[1]));
  ends_[1] = open("/dev/null", O_WRONLY);
}

}  // namespace tulora::test_platform
