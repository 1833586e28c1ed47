// Windows files and directories through the wide file functions. A GBK
// path is turned into UTF-16 with the runtime's own code page 936
// conversion; "\" stays the separator (in GBK the byte 0x5C may be the
// second byte of a character, which the conversion keeps whole).
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "runtime/kernel/file_commands.h"
#include "runtime/kernel/wide_paths_win32.h"
#include "runtime/text/wide_text.h"

namespace tulora::rt {
namespace {

std::wstring WidePath(const char* gbkPath) { return GbkToWide(gbkPath, std::strlen(gbkPath)); }

// The temporary files of the writes under way; their lock is held while one
// is created, renamed or removed, so the process end sees every one.
struct UnfinishedWrites {
  std::mutex mutex;
  std::vector<std::wstring> paths;
  bool ending = false;
};

UnfinishedWrites& Unfinished() {
  static UnfinishedWrites* writes = new UnfinishedWrites;  // used until the process ends
  return *writes;
}

std::wstring TemporaryPath(const std::wstring& path) {
  const size_t name = path.find_last_of(L"\\/") + 1;  // 0 when there is no folder
  return path.substr(0, name) + L"." + path.substr(name) + L"." +
         std::to_wstring(GetCurrentProcessId()) + L".part";
}

}  // namespace

// The wide path cannot be handed out as bytes of the system's own; the
// platform path here is its UTF-8 form, for messages.
std::string NativePath(const char* gbkPath) { return Utf8FromWide(WidePath(gbkPath)); }

// The running directory is the executable's own folder, not the process's
// current directory: the program stores its downloads beside itself
// wherever it was started from. A drive's root gives "C:", so that joining
// "\name" names "C:\name".
std::string RunningDirectory() {
  std::wstring path = ModuleFileName(nullptr);
  const size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return std::string();
  path.resize(separator);
  return WideToGbk(path.data(), path.size());
}

bool CreateDirectoryAt(const char* gbkPath) {
  const std::wstring path = WidePath(gbkPath);
  return !path.empty() && CreateDirectoryW(path.c_str(), nullptr) != 0;
}

// As on Linux (file_commands.h): the bytes go into "." + name + "." +
// process id + ".part" beside the file, which one MoveFileExW then puts in
// the file's place; the writes under way are known, so that the process
// end can remove their temporary files.
bool WriteWholeFile(const char* gbkPath, const uint8_t* data, uint32_t length) {
  const std::wstring path = WidePath(gbkPath);
  if (path.empty() || path.back() == L'\\') return false;
  const std::wstring temporary = TemporaryPath(path);
  UnfinishedWrites& writes = Unfinished();
  HANDLE file = INVALID_HANDLE_VALUE;
  {
    std::lock_guard<std::mutex> lock(writes.mutex);
    if (writes.ending) return false;
    file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    writes.paths.push_back(temporary);
  }
  uint32_t done = 0;
  while (done < length) {
    DWORD n = 0;
    if (!WriteFile(file, data + done, length - done, &n, nullptr) || n == 0) break;
    done += n;
  }
  const bool closed = CloseHandle(file) != 0;
  std::lock_guard<std::mutex> lock(writes.mutex);
  const bool placed = done == length && closed &&
                      MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  if (!placed) DeleteFileW(temporary.c_str());
  writes.paths.erase(std::find(writes.paths.begin(), writes.paths.end(), temporary));
  return placed;
}

void AbandonUnfinishedWrites() {
  UnfinishedWrites& writes = Unfinished();
  writes.mutex.lock();  // kept until the process ends
  writes.ending = true;
  for (const std::wstring& path : writes.paths) DeleteFileW(path.c_str());
  writes.paths.clear();
}

}  // namespace tulora::rt
