#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdio>

#include "tests/paced/pause_log.h"

namespace tulora::paced {

void RecordPause(const char* logPath, int32_t milliseconds) {
  HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER written{};
  LARGE_INTEGER none{};
  if (!SetFilePointerEx(GetStdHandle(STD_OUTPUT_HANDLE), none, &written, FILE_CURRENT)) {
    written.QuadPart = -1;  // standard output is no file
  }
  char line[48];
  const int n = snprintf(line, sizeof line, "%d %lld\n", milliseconds,
                         static_cast<long long>(written.QuadPart));
  DWORD done = 0;
  WriteFile(log, line, static_cast<DWORD>(n), &done, nullptr);  // a lost line fails the test
  CloseHandle(log);
}

}  // namespace tulora::paced
