// Re-encoding texts between code pages through UTF-16, with the operating
// system's conversion functions (declared DLL functions MultiByteToWideChar
// and WideCharToMultiByte, flags 0, null default character).
#ifndef TULORA_CRAWLER_REENCODE_H
#define TULORA_CRAWLER_REENCODE_H

#include <stdint.h>

#include "image/interface_constants.h"
#include "image/values.h"

namespace tulora {

// A UTF-8 text (null reads as empty) as a new GBK text. Invalid UTF-8 and
// characters GBK lacks come out as the code page's default character, one
// for each half of a character beyond U+FFFF; characters of the platform's
// best-fit list come out as their near character ("\xC2\xB2" as "2").
char* Utf8ToGbk(const char* text);

// The text, read in `codePage`, as a new byte set of UTF-16LE units with the
// terminating zero unit: 2 zero bytes for the empty text.
ByteSet* TextToUtf16(const char* text, int32_t codePage = CP_UTF8_PAGE);

// UTF-16LE data (read up to its first zero unit, or to its end when there
// is none) as a new text in `codePage`.
char* Utf16ToText(const ByteSet* data, int32_t codePage = CP_ANSI);

}  // namespace tulora

#endif  // TULORA_CRAWLER_REENCODE_H
