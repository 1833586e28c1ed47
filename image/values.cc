// Shared text and value routines. See values.h for the contracts.
#include "image/values.h"

namespace tulora {
namespace {

// In the program image these builtins become calls of the image's own
// memcpy/memset (image/freestanding.cc); hosted they are the C library's.
inline void CopyBytes(void* to, const void* from, uint32_t count) {
  if (count != 0) __builtin_memcpy(to, from, count);
}

inline bool IsGbkLead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
inline bool IsGbkTrail(uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Width in bytes of the character at `p`: 2 for a GBK lead byte followed by
// a valid trail byte, else 1. Never steps over the terminating zero.
inline uint32_t CharWidth(const uint8_t* p) { return IsGbkLead(p[0]) && IsGbkTrail(p[1]) ? 2 : 1; }

inline uint8_t FoldAscii(uint8_t b) {
  return (b >= 'A' && b <= 'Z') ? static_cast<uint8_t>(b + 32) : b;
}

// True when `sought` (non-empty) occurs at `at`, compared character by
// character so that only single-byte letters are folded.
bool MatchesAt(const uint8_t* at, const uint8_t* sought, bool ignoreCase) {
  while (*sought != 0) {
    uint32_t width = CharWidth(sought);
    if (CharWidth(at) != width) return false;
    if (width == 2) {
      if (at[0] != sought[0] || at[1] != sought[1]) return false;
    } else if (ignoreCase ? FoldAscii(at[0]) != FoldAscii(sought[0]) : at[0] != sought[0]) {
      return false;
    }
    at += width;
    sought += width;
  }
  return true;
}

// Copy of `marker` with every QUOTE_TOKEN replaced by a double quote; the
// result is never longer than the marker.
char* ReplaceQuoteToken(const char* marker) {
  const uint32_t tokenLength = sizeof(QUOTE_TOKEN) - 1;
  uint32_t length = TextLength(marker);
  char* out = static_cast<char*>(tulora_services.Allocate(length + 1));
  uint32_t o = 0;
  for (uint32_t i = 0; i < length;) {
    if (length - i >= tokenLength && CompareBytes(marker + i, QUOTE_TOKEN, tokenLength) == 0) {
      out[o++] = '"';
      i += tokenLength;
    } else {
      out[o++] = marker[i++];
    }
  }
  out[o] = 0;
  return out;
}

const ByteSet kEmptyByteSet = {1, 0};

}  // namespace

const ByteSet* EmptyByteSet() { return &kEmptyByteSet; }

uint32_t ByteSetLength(const ByteSet* set) {
  if (set == nullptr || set->dimensions != 1) return 0;
  return set->length;
}

ByteSet* NewByteSet(uint32_t length) {
  ByteSet* set = static_cast<ByteSet*>(tulora_services.Allocate(8 + length));
  set->dimensions = 1;
  set->length = length;
  if (length != 0) __builtin_memset(set->data(), 0, length);
  return set;
}

ByteSet* NewByteSetFrom(const void* bytes, uint32_t length) {
  if (bytes == nullptr) return NewByteSet(length);
  ByteSet* set = static_cast<ByteSet*>(tulora_services.Allocate(8 + length));
  set->dimensions = 1;
  set->length = length;
  CopyBytes(set->data(), bytes, length);
  return set;
}

TextArray* NewTextArray() {
  TextArray* array = static_cast<TextArray*>(tulora_services.Allocate(sizeof(TextArray)));
  array->dimensions = 1;
  array->size = 0;
  return array;
}

void AppendTextItem(TextArray** array, const char* text) {
  if (*array == nullptr) *array = NewTextArray();
  uint32_t size = (*array)->size;
  uint32_t bytes = static_cast<uint32_t>(sizeof(TextArray) + (size + 1) * sizeof(char*));
  TextArray* grown = static_cast<TextArray*>(tulora_services.Reallocate(*array, bytes));
  grown->items()[size] = CopyText(text);
  grown->size = size + 1;
  *array = grown;
}

void ReleaseTextArray(TextArray* array) {
  if (array == nullptr) return;
  const void* first = nullptr;
  uint32_t count = ArrayElementCount(array, &first);
  char* const* items = static_cast<char* const*>(first);
  for (uint32_t i = 0; i < count; ++i) tulora_services.Release(items[i]);
  tulora_services.Release(array);
}

// A null array cannot be counted; the strict form treats it like the
// tolerant one rather than reading through a null pointer.
uint32_t ArrayElementCount(const void* array, const void** first) {
  return ArrayElementCountTolerant(array, first);
}

uint32_t ArrayElementCountTolerant(const void* array, const void** first) {
  if (array == nullptr) {
    if (first != nullptr) *first = nullptr;
    return 0;
  }
  const uint32_t* words = static_cast<const uint32_t*>(array);
  uint32_t dimensions = words[0];
  uint32_t count = dimensions == 0 ? 0 : 1;
  for (uint32_t i = 0; i < dimensions; ++i) count *= words[1 + i];
  if (first != nullptr) *first = words + 1 + dimensions;
  return count;
}

uint32_t TextLength(const char* text) {
  if (text == nullptr) return 0;
  uint32_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

char* CopyText(const char* text) { return CopyTextBytes(text, TextLength(text)); }

char* CopyTextBytes(const char* bytes, uint32_t length) {
  char* out = static_cast<char*>(tulora_services.Allocate(length + 1));
  CopyBytes(out, bytes, length);
  out[length] = 0;
  return out;
}

char* JoinTexts(const char* const* pieces, uint32_t count) {
  uint32_t total = 0;
  for (uint32_t i = 0; i < count; ++i) total += TextLength(pieces[i]);
  char* out = static_cast<char*>(tulora_services.Allocate(total + 1));
  uint32_t at = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t n = TextLength(pieces[i]);
    CopyBytes(out + at, pieces[i], n);
    at += n;
  }
  out[at] = 0;
  return out;
}

int32_t CompareTexts(const char* a, const char* b) {
  if (a == nullptr) return (b == nullptr || b[0] == 0) ? 0 : -1;
  if (b == nullptr) return a[0] == 0 ? 0 : 1;
  const uint8_t* x = reinterpret_cast<const uint8_t*>(a);
  const uint8_t* y = reinterpret_cast<const uint8_t*>(b);
  for (;; ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
    if (*x == 0) return 0;
  }
}

int32_t CompareBytes(const void* a, const void* b, uint32_t count) {
  const uint8_t* x = static_cast<const uint8_t*>(a);
  const uint8_t* y = static_cast<const uint8_t*>(b);
  for (uint32_t i = 0; i < count; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

int64_t TruncateToInteger(double value) {
  const uint64_t bits = __builtin_bit_cast(uint64_t, value);
  const bool negative = (bits >> 63) != 0;
  const int32_t exponent = static_cast<int32_t>((bits >> 52) & 0x7FF) - 1023;
  if (exponent < 0) return 0;            // |value| < 1, zero and subnormals included
  if (exponent >= 63) return INT64_MIN;  // NaN, infinities, out of range, -2^63
  const uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const uint64_t magnitude =
      exponent >= 52 ? mantissa << (exponent - 52) : mantissa >> (52 - exponent);
  return negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
}

int32_t FindText(const char* text, const char* sought, int32_t start, bool ignoreCase) {
  if (sought == nullptr || sought[0] == 0 || text == nullptr) return -1;
  uint32_t length = TextLength(text);
  uint32_t at = start < 1 ? 0 : static_cast<uint32_t>(start) - 1;
  const uint8_t* t = reinterpret_cast<const uint8_t*>(text);
  const uint8_t* s = reinterpret_cast<const uint8_t*>(sought);
  while (at < length) {
    if (MatchesAt(t + at, s, ignoreCase)) return static_cast<int32_t>(at + 1);
    at += CharWidth(t + at);
  }
  return -1;
}

char* TextBetween(const char* source, const char* left, const char* right, int32_t start,
                  bool caseSensitive) {
  OwnedText leftMarker(ReplaceQuoteToken(left));
  OwnedText rightMarker(ReplaceQuoteToken(right));
  int32_t p = FindText(source, leftMarker.get(), start, !caseSensitive);
  if (p < 0) return CopyText(nullptr);
  p += static_cast<int32_t>(TextLength(leftMarker.get()));
  int32_t q = FindText(source, rightMarker.get(), p, !caseSensitive);
  if (q < 0) return CopyText(nullptr);
  return CopyTextBytes(source + p - 1, static_cast<uint32_t>(q - p));
}

void ReplaceText(char** variable, char* value) {
  tulora_services.Release(*variable);
  *variable = value;
}

void StoreText(char** variable, char* value) {
  if (variable == nullptr) {
    tulora_services.Release(value);
    return;
  }
  ReplaceText(variable, value);
}

}  // namespace tulora
