// What the Windows back-ends of the kernel share about wide paths: a
// module's file name, and the UTF-8 form in which a wide path travels
// through the seams' byte strings (platform.h, file_commands.h) without
// loss.
#ifndef TULORA_RUNTIME_KERNEL_WIDE_PATHS_WIN32_H
#define TULORA_RUNTIME_KERNEL_WIDE_PATHS_WIN32_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace tulora::rt {

// The full path of `module` (null: the executable); empty when unknown.
std::wstring ModuleFileName(HMODULE module);

std::string Utf8FromWide(const std::wstring& wide);
std::wstring WideFromUtf8(const std::string& utf8);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_WIDE_PATHS_WIN32_H
