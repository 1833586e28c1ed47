// The launcher's platform table on Windows, over the ANSI functions of
// kernel32 and user32.
//
// - The module path comes from GetModuleFileNameA; a path that fills the
//   buffer is taken as cut off and fails the open.
// - The file is opened for reading with read sharing and never closed.
// - The temporary directory is GetTempPathA's, which ends in a backslash.
// - The extraction directory is made with CreateDirectoryA; its result is
//   ignored (an existing directory is simply used, and a directory that
//   cannot be made shows later as files that cannot be written).
// - A file is created with CREATE_ALWAYS and no sharing and written with one
//   WriteFile call; a file that cannot be created (a library another
//   running instance has loaded, say) is skipped, and the one standing
//   there stays.
// - The payload and the inflated set are blocks of the process heap.
// - The error message is one message box without an owner, captioned
//   "Error", with the error icon.
#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "launcher/platform.h"

namespace tulora::launcher {
namespace {

HANDLE AsHandle(intptr_t file) { return reinterpret_cast<HANDLE>(file); }

bool Win32ModulePath(char* buffer, size_t size) {
  const DWORD n = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
  return n > 0 && n < size;
}

intptr_t Win32OpenForRead(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(file);
}

// The payload of an executable lies within its last 4 GiB: a distance
// beyond 32 bits fails, as it would on the 32-bit system.
int64_t Win32SeekFromEnd(intptr_t file, int64_t distance) {
  if (distance < INT32_MIN) return -1;
  const DWORD position =
      SetFilePointer(AsHandle(file), static_cast<LONG>(distance), nullptr, FILE_END);
  if (position == INVALID_SET_FILE_POINTER) return -1;
  return position;
}

int64_t Win32Read(intptr_t file, void* buffer, size_t size) {
  if (size > MAXDWORD) return -1;
  DWORD read = 0;
  if (!ReadFile(AsHandle(file), buffer, static_cast<DWORD>(size), &read, nullptr)) return -1;
  return read;
}

uint8_t* Win32Allocate(size_t size) { return static_cast<uint8_t*>(std::malloc(size ? size : 1)); }

void Win32Release(uint8_t* block, size_t) { std::free(block); }

size_t Win32TempPath(char* buffer, size_t size) {
  return GetTempPathA(static_cast<DWORD>(size), buffer);
}

const char* Win32MakeExtractionDirectory(const char* path) {
  CreateDirectoryA(path, nullptr);
  return nullptr;
}

void Win32WriteFile(const char* path, const uint8_t* data, size_t size) {
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
}

void* Win32LoadLibrary(const char* path) { return LoadLibraryA(path); }

void* Win32FindExport(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void Win32ShowError(const char* message) { MessageBoxA(nullptr, message, "Error", MB_ICONERROR); }

const PlatformOps kWin32 = {
    Win32ModulePath,
    Win32OpenForRead,
    Win32SeekFromEnd,
    Win32Read,
    Win32Allocate,
    Win32Release,
    Win32TempPath,
    Win32MakeExtractionDirectory,
    Win32WriteFile,
    Win32LoadLibrary,
    Win32FindExport,
    Win32ShowError,
    '\\',
};

}  // namespace

const PlatformOps& HostPlatform() { return kWin32; }

}  // namespace tulora::launcher
