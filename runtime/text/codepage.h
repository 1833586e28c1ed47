// Windows code page conversions for the code pages the program uses:
// 65001 (UTF-8), 936 (GBK) and 0 (the ANSI code page, which is 936 here).
// The runtime binds these to DllFunctionTable entries 2 (MultiByteToWideChar)
// and 3 (WideCharToMultiByte) on platforms without the Windows functions.
//
// Lengths, as on Windows:
// - srcLen -1: the source runs up to and including its first zero, and the
//   result counts (and writes) that terminator; an explicit srcLen converts
//   exactly that many bytes/units and adds no terminator. srcLen 0 or below
//   -1 fails.
// - dstLen 0: size query; the needed number of units/bytes is returned and
//   dst is not touched. A dst too small for the whole result gets what fits
//   and the call returns 0. dstLen < 0 or a null dst with dstLen > 0 fails.
// - Failure returns 0; unknown code pages and flags other than those named
//   below fail.
//
// Replacement rules (flags 0):
// - UTF-8 in: each ill-formed part becomes one U+FFFD: a truncated
//   sequence, a stray continuation byte, one of the bytes C0, C1, F5..FF;
//   a lead byte whose first continuation byte is out of its range (an
//   overlong form, an encoded surrogate, a value above U+10FFFF) forms one
//   part with that byte, and the bytes after it count on their own
//   (E0 80 AF gives two U+FFFD). Characters above U+FFFF become surrogate
//   pairs.
// - UTF-8 out: a lone surrogate becomes U+FFFD (EF BF BD). defaultChar and
//   usedDefault must be null for 65001.
// - 936 in: ASCII bytes are themselves; 0x80 is U+20AC (euro sign); 0xFF is
//   U+F8F5 (invalid under MB_ERR_INVALID_CHARS); a lead byte 0x81..0xFE
//   takes the next byte with it: with a trail byte 0x40..0xFE (not 0x7F) it
//   is one character (the user-defined areas, e.g. AAA1..AFFE, F8A1..FEFE,
//   A140..A7A0, give Private Use Area characters from U+E000), and a pair
//   with no character, or whose second byte is no trail byte, is one "?"
//   (U+003F). A lead byte at the end or before a zero byte is "?" alone.
// - 936 out: every UTF-16 unit GBK lacks (each half of a surrogate pair
//   too, so a pair gives two) becomes the default character: "?"
//   or, when given, the first character of defaultChar (one byte, or two
//   when it is a double-byte character); *usedDefault is set to 1 when that
//   happened, else 0. Characters of the platform's best-fit list are
//   written as their near character instead (U+00B2 as "2", U+00A2 as
//   A1E9) without counting as a default; gbk_platform.inc holds the list.
//
// MB_ERR_INVALID_CHARS (8) is accepted by CpMultiByteToWideChar: then any
// of the replacements above fails the call instead. WC_ERR_INVALID_CHARS
// (0x80) is accepted by CpWideCharToMultiByte for 65001 likewise.
#ifndef TULORA_RUNTIME_TEXT_CODEPAGE_H
#define TULORA_RUNTIME_TEXT_CODEPAGE_H

#include <stdint.h>

#include "image/interface_constants.h"  // CP_ANSI, CP_GBK, CP_UTF8_PAGE

namespace tulora {

inline constexpr uint32_t CP_FLAG_MB_ERR_INVALID_CHARS = 0x8;
inline constexpr uint32_t CP_FLAG_WC_ERR_INVALID_CHARS = 0x80;

int CpMultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* src, int srcLen,
                          uint16_t* dst, int dstLen);

int CpWideCharToMultiByte(uint32_t codePage, uint32_t flags, const uint16_t* src, int srcLen,
                          char* dst, int dstLen, const char* defaultChar, int32_t* usedDefault);

// The Unicode character of a GBK double-byte code (lead << 8 | trail), or 0
// when the code page assigns none.
uint16_t GbkCodeToUnicode(uint16_t code);

}  // namespace tulora

#endif  // TULORA_RUNTIME_TEXT_CODEPAGE_H
