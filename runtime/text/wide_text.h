// GBK texts to and from the UTF-16 of the Windows wide functions (console,
// file names), with the runtime's own code page 936 rules (codepage.h):
// bytes that are no GBK character become U+FFFD or "?" as there, characters
// GBK lacks become "?". Built where wchar_t is a UTF-16 unit.
#ifndef TULORA_RUNTIME_TEXT_WIDE_TEXT_H
#define TULORA_RUNTIME_TEXT_WIDE_TEXT_H

#include <stddef.h>

#include <string>

namespace tulora::rt {

std::wstring GbkToWide(const char* text, size_t length);
std::string WideToGbk(const wchar_t* text, size_t length);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_TEXT_WIDE_TEXT_H
