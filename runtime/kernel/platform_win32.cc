// Windows back-end of the kernel's platform: the readable extent from the
// virtual memory map, a module's directory from its file name, support
// libraries loaded by their wide path. Directories travel as UTF-8.
#include <cstdint>

#include "runtime/kernel/platform.h"
#include "runtime/kernel/wide_paths_win32.h"

namespace tulora::rt {
namespace {

bool IsReadable(const MEMORY_BASIC_INFORMATION& region) {
  if (region.State != MEM_COMMIT) return false;
  if ((region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) return false;
  const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                         PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  return (region.Protect & readable) != 0;
}

}  // namespace

std::wstring ModuleFileName(HMODULE module) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    if (buffer.size() >= 32768) return std::wstring();  // longer than any path can be
    buffer.resize(buffer.size() * 2);
  }
}

std::string Utf8FromWide(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int units = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

std::wstring WideFromUtf8(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int bytes = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, wide.data(), n);
  return wide;
}

size_t ReadableBytesAt(const void* address, size_t limit) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(address);
  uintptr_t end = at;  // end of the readable run from `at` found so far
  while (end - at < limit) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<const void*>(end), &region, sizeof region) == 0) break;
    if (!IsReadable(region)) break;
    const uintptr_t regionEnd = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (regionEnd <= end) break;
    end = regionEnd;
  }
  const size_t extent = end - at;
  return extent < limit ? extent : limit;
}

std::string DirectoryOf(const void* symbol) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(symbol), &module)) {
    return std::string();
  }
  std::wstring path = ModuleFileName(module);
  const size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return std::string();
  path.resize(separator);  // a drive's root gives "C:", joined with "\" below
  return Utf8FromWide(path);
}

LibraryCommandEntry LoadSupportLibrary(const std::string& directory, const std::string& name,
                                       std::string& error) {
  const std::wstring path = WideFromUtf8(directory + "\\" + name + LIBRARY_FILE_SUFFIX);
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) {
    error = "support library '" + name + "' cannot be loaded from " + directory +
            " (system error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  FARPROC entry = GetProcAddress(module, LIBRARY_ENTRY_NAME);
  if (entry == nullptr) {
    error = "support library '" + name + "' has no " + LIBRARY_ENTRY_NAME;
    FreeLibrary(module);
    return nullptr;
  }
  return reinterpret_cast<LibraryCommandEntry>(reinterpret_cast<void*>(entry));
}

}  // namespace tulora::rt
