// Windows console: a real console gets UTF-16 through the wide console
// functions, so that the Chinese texts show whatever the console's code
// page; a file or pipe gets the program's GBK bytes unchanged. Input the
// same way: a console line is read as UTF-16 and turned into GBK, a file or
// pipe gives its bytes as they are.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>
#include <cstring>

#include "runtime/kernel/console_commands.h"
#include "runtime/text/wide_text.h"

namespace tulora::rt {
namespace {

// Null: the process's standard handle at the time of use.
std::atomic<HANDLE> g_output{nullptr};
std::atomic<HANDLE> g_input{nullptr};

HANDLE Output() {
  HANDLE h = g_output.load();
  return h != nullptr ? h : GetStdHandle(STD_OUTPUT_HANDLE);
}
HANDLE Input() {
  HANDLE h = g_input.load();
  return h != nullptr ? h : GetStdHandle(STD_INPUT_HANDLE);
}

bool IsConsole(HANDLE h) {
  DWORD mode;
  return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

bool WriteBytes(HANDLE h, const char* bytes, size_t length) {
  size_t done = 0;
  while (done < length) {
    const size_t left = length - done;
    const DWORD chunk = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
    DWORD n = 0;
    if (!WriteFile(h, bytes + done, chunk, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

bool WriteWide(HANDLE h, const std::wstring& text) {
  size_t done = 0;
  while (done < text.size()) {
    const size_t left = text.size() - done;
    // Console writes are best kept to moderate pieces.
    const DWORD chunk = left > 8192 ? 8192 : static_cast<DWORD>(left);
    DWORD n = 0;
    if (!WriteConsoleW(h, text.data() + done, chunk, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

// One line from a console, as UTF-16 units; false when nothing was read.
bool ReadWideLine(HANDLE h, std::wstring* line) {
  bool any = false;
  for (;;) {
    wchar_t c;
    DWORD n = 0;
    if (!ReadConsoleW(h, &c, 1, &n, nullptr) || n == 0) break;
    any = true;
    if (c == L'\n') break;
    *line += c;
  }
  return any;
}

// One line from a file or pipe, byte by byte; false when nothing was read.
bool ReadByteLine(HANDLE h, std::string* line) {
  bool any = false;
  for (;;) {
    char c;
    DWORD n = 0;
    if (!ReadFile(h, &c, 1, &n, nullptr) || n == 0) break;  // end of file or closed pipe
    any = true;
    if (c == '\n') break;
    *line += c;
  }
  return any;
}

}  // namespace

bool WriteConsoleText(const char* gbkText) {
  HANDLE h = Output();
  const size_t length = std::strlen(gbkText);
  if (length == 0) return true;
  if (IsConsole(h)) return WriteWide(h, GbkToWide(gbkText, length));
  return WriteBytes(h, gbkText, length);
}

std::string ReadConsoleLine(bool* atEnd) {
  HANDLE h = Input();
  std::string line;
  if (IsConsole(h)) {
    std::wstring wide;
    *atEnd = !ReadWideLine(h, &wide);
    if (!wide.empty() && wide.back() == L'\r') wide.pop_back();
    return WideToGbk(wide.data(), wide.size());
  }
  *atEnd = !ReadByteLine(h, &line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void UseConsoleStreams(ConsoleStream output, ConsoleStream input) {
  g_output.store(reinterpret_cast<HANDLE>(output));
  g_input.store(reinterpret_cast<HANDLE>(input));
}

void UseProcessConsole() { UseConsoleStreams(0, 0); }

}  // namespace tulora::rt
