// Windows files and directories through the wide file functions. A GBK
// path is turned into UTF-16 with the runtime's own code page 936
// conversion; "\" stays the separator (in GBK the byte 0x5C may be the
// second byte of a character, which the conversion keeps whole).
#include <cstring>

#include "runtime/kernel/file_commands.h"
#include "runtime/kernel/wide_paths_win32.h"
#include "runtime/text/wide_text.h"

namespace tulora::rt {
namespace {

std::wstring WidePath(const char* gbkPath) { return GbkToWide(gbkPath, std::strlen(gbkPath)); }

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

bool WriteWholeFile(const char* gbkPath, const uint8_t* data, uint32_t length) {
  const std::wstring path = WidePath(gbkPath);
  if (path.empty()) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  uint32_t done = 0;
  while (done < length) {
    DWORD n = 0;
    if (!WriteFile(file, data + done, length - done, &n, nullptr) || n == 0) break;
    done += n;
  }
  const bool closed = CloseHandle(file) != 0;
  return closed && done == length;
}

}  // namespace tulora::rt
