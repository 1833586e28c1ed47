// The application's calls of the kernel library's text and number commands
// (image/commands.h) and of declared DLL functions, through tulora_services.
//
// Every returned text, byte set or array is new and belongs to the caller.
// Null texts and byte sets are passed as the empty ones.
#ifndef TULORA_IMAGE_RUNTIME_CALLS_H
#define TULORA_IMAGE_RUNTIME_CALLS_H

#include <stdint.h>

#include "image/values.h"

namespace tulora {

// Numbers and conversions.
int32_t RtTextToInt(const char* text);
char* RtNumberToText(double value);
char* RtBytesToText(const ByteSet* bytes);
ByteSet* RtTextToBytes(const char* text);

// Texts.
char* RtLower(const char* text);
char* RtUpper(const char* text);
char* RtLeft(const char* text, int32_t count);
char* RtRight(const char* text, int32_t count);
int32_t RtLength(const char* text);
// 1-based position of `sought` at or after `start` (below 1 reads as 1), or -1.
int32_t RtFind(const char* text, const char* sought, int32_t start = 1, bool ignoreCase = false);
int32_t RtFindLast(const char* text, const char* sought, bool ignoreCase = false);
char* RtTrim(const char* text);
char* RtRemoveSpaces(const char* text);
// Array of the pieces between separators (an empty text gives no piece).
TextArray* RtSplit(const char* text, const char* separator);
char* RtReplace(const char* text, const char* sought, const char* replacement,
                bool ignoreCase = false);

// Calls DllFunctionTable entry `entry` with `count` word arguments; the
// function's 32-bit result.
uint32_t CallDll(uint32_t entry, uint32_t count, const uintptr_t* args);

// A pointer as a word argument of a DLL function.
inline uintptr_t Word(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// Calls DllFunctionTable entry `entry` with the given word arguments; the
// function's whole result word (handles are pointer-sized).
template <typename... Words>
uintptr_t CallDllWords(uint32_t entry, Words... words) {
  const uintptr_t args[sizeof...(Words) + 1] = {static_cast<uintptr_t>(words)...};
  return tulora_services.CallDllFunction(entry, sizeof...(Words), args);
}

}  // namespace tulora

#endif  // TULORA_IMAGE_RUNTIME_CALLS_H
