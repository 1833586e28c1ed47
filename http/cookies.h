// Cookie texts: name=value items separated by "; " (a caller's text may use
// ";" with or without spaces), no trailing separator, no attributes.
#ifndef TULORA_HTTP_COOKIES_H
#define TULORA_HTTP_COOKIES_H

#include <stdint.h>

#include "image/values.h"

namespace tulora {

// Folds the cookies a response set (`*newCookies`) into the caller's cookie
// text (`*oldCookies`): the new items in their order, then the old items whose
// names no new item carries; items ending in "=deleted" dropped; later exact
// repetitions removed. Both variables first get their text without spaces;
// then `*oldCookies` gets the merged text. Returns a new copy of it. The old
// texts of the variables are released; null variables read as empty.
char* MergeCookies(char** oldCookies, char** newCookies);

// A new text: the item's name, the trimmed text before its first "=" (the
// whole trimmed item when it has none).
char* CookieNameOf(const char* item);

// True when an item of the list has exactly `name` as its name.
bool CookieListHasName(const TextArray* list, const char* name);

// A new text: the pieces of `text` between `separator`s, without exact
// repetitions, joined again by `separator`.
char* RemoveDuplicateItems(const char* text, const char* separator);

// 1-based index of the first item equal to `text`, or -1.
int32_t FindItem(const TextArray* list, const char* text);

// The cookies a response header block sets, as a cookie text: for each line
// ("\r\n"-separated) that `isCookieLine` accepts, the text between
// "Set-Cookie:" and the first ";" (letter case ignored), or the line without
// any "Set-Cookie:" when it has no ";", trimmed; joined by "; " with no
// separator at the end. The request routines differ only in which lines
// they accept.
char* CollectResponseCookies(const char* headers, bool (*isCookieLine)(const char* line));

}  // namespace tulora

#endif  // TULORA_HTTP_COOKIES_H
