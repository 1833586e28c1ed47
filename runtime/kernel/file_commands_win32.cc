// Windows files and directories through the wide file functions. A GBK
// path is turned into UTF-16 with the runtime's own code page 936
// conversion; "\" stays the separator (in GBK the byte 0x5C may be the
// second byte of a character, which the conversion keeps whole).
#include <cstring>

#include "runtime/kernel/file_commands.h"
#include "runtime/kernel/file_streams.h"
#include "runtime/kernel/wide_paths_win32.h"
#include "runtime/text/wide_text.h"

namespace tulora::rt {
namespace {

std::wstring WidePath(const char* gbkPath) { return GbkToWide(gbkPath, std::strlen(gbkPath)); }

// As on Linux (file_commands.h): the bytes go into "." + name + "." +
// process id + ".part" beside the file, which one MoveFileExW then puts in
// the file's place. A temporary file is opened with delete sharing: the
// process end removes it while the writing thread still holds it open (the
// system then takes it away when the process's handles close), which it
// could not do with no sharing at all.
struct WindowsFiles {
  using Path = std::wstring;
  using Handle = HANDLE;

  static Path Temporary(const Path& path, int attempt) {
    const size_t name = path.find_last_of(L"\\/") + 1;  // 0 when there is no folder
    return path.substr(0, name) + L"." + path.substr(name) + L"." +
           std::to_wstring(GetCurrentProcessId()) +
           (attempt == 0 ? L"" : L"." + std::to_wstring(attempt)) + L".part";
  }
  // CREATE_NEW: never a file that stands there already.
  static Made Create(const Path& temporary, Handle* file) {
    *file = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (*file != INVALID_HANDLE_VALUE) return Made::kCreated;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Made::kTaken
                                                                       : Made::kFailed;
  }
  static bool Write(Handle file, const uint8_t* data, uint32_t length) {
    uint32_t done = 0;
    while (done < length) {
      DWORD n = 0;
      if (!WriteFile(file, data + done, length - done, &n, nullptr) || n == 0) return false;
      done += n;
    }
    return true;
  }
  static bool Close(Handle file) { return CloseHandle(file) != 0; }
  static bool Place(const Path& temporary, const Path& path) {
    return MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  }
  static void Remove(const Path& temporary) { DeleteFileW(temporary.c_str()); }
};

FileStreams<WindowsFiles>& Streams() {
  static auto* streams = new FileStreams<WindowsFiles>;  // used until the process ends
  return *streams;
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

int32_t OpenFileStream(const char* gbkPath) {
  const std::wstring path = WidePath(gbkPath);
  if (path.empty() || path.back() == L'\\') return 0;
  return Streams().Open(path);
}

bool AppendToFileStream(int32_t stream, const uint8_t* data, uint32_t length) {
  return Streams().Append(stream, data, length);
}

bool FinishFileStream(int32_t stream, bool keep) { return Streams().Finish(stream, keep); }

void AbandonUnfinishedWrites() { Streams().Abandon(); }

}  // namespace tulora::rt
