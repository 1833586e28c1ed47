#include "runtime/kernel/console_commands.h"

#include <errno.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "runtime/text/gbk_text.h"

namespace tulora::rt {
namespace {

std::atomic<int> g_outputFd{STDOUT_FILENO};
std::atomic<int> g_inputFd{STDIN_FILENO};

}  // namespace

bool WriteConsoleText(const char* gbkText) {
  const int fd = g_outputFd.load();
  std::string utf8 = GbkToUtf8(gbkText, std::strlen(gbkText));
  size_t done = 0;
  while (done < utf8.size()) {
    ssize_t n = write(fd, utf8.data() + done, utf8.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ReadConsoleLine(bool* atEnd) {
  const int fd = g_inputFd.load();
  std::string line;
  bool any = false;
  for (;;) {
    char c;
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    any = true;
    if (c == '\n') break;
    line += c;
  }
  *atEnd = !any;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return Utf8ToGbk(line.data(), line.size());
}

void UseConsoleStreams(ConsoleStream output, ConsoleStream input) {
  g_outputFd.store(static_cast<int>(output));
  g_inputFd.store(static_cast<int>(input));
}

void UseProcessConsole() { UseConsoleStreams(STDOUT_FILENO, STDIN_FILENO); }

}  // namespace tulora::rt
