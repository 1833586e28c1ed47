// Conversions between the application's GBK texts and the UTF-8 of the
// Linux console and file system, with the platform conversions' rules:
// bytes that are no GBK character become U+FFFD, invalid UTF-8 becomes
// U+FFFD on the way in and characters GBK lacks become "?".
#ifndef TULORA_RUNTIME_TEXT_GBK_TEXT_H
#define TULORA_RUNTIME_TEXT_GBK_TEXT_H

#include <stddef.h>

#include <string>

namespace tulora::rt {

std::string GbkToUtf8(const char* text, size_t length);
std::string Utf8ToGbk(const char* text, size_t length);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_TEXT_GBK_TEXT_H
