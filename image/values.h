// Value layouts shared by every application routine, and the routines that
// measure, join, compare and cut texts.
//
// Freestanding: <stdint.h>/<stddef.h> only. Every block these routines
// return comes from tulora_services.Allocate and belongs to the caller, who
// gives it back with tulora_services.Release (or lets an owner below do it).
//
// Layouts:
// - Text: NUL-terminated GBK bytes. A null pointer is the empty text
//   everywhere. Lengths and positions count bytes; positions are 1-based.
// - Array value: u32 dimension count, one u32 size per dimension, then the
//   elements back to back. Texts are stored as pointers of the machine's
//   pointer width (4 bytes on i386, 8 on x86-64).
// - Byte set: an array value of bytes with one dimension: u32 1, u32 length,
//   then the bytes. The empty byte set is 01 00 00 00 00 00 00 00.
#ifndef TULORA_IMAGE_VALUES_H
#define TULORA_IMAGE_VALUES_H

#include <stddef.h>
#include <stdint.h>

#include "image/services.h"

namespace tulora {

// "#引号" in GBK: written inside a marker of TextBetween for a double quote.
inline constexpr char QUOTE_TOKEN[] = "#\xD2\xFD\xBA\xC5";

// ---- byte sets -------------------------------------------------------------

struct ByteSet {
  uint32_t dimensions;  // always 1
  uint32_t length;
  uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};
static_assert(sizeof(ByteSet) == 8, "two 32-bit words");

// The empty byte set (01 00 00 00 00 00 00 00), a constant: never released.
const ByteSet* EmptyByteSet();

// Length of a byte set; 0 for null or for a block that is no one-dimensional
// array.
uint32_t ByteSetLength(const ByteSet* set);
// A new byte set of `length` bytes; zero-filled.
ByteSet* NewByteSet(uint32_t length);
// A new byte set holding a copy of `length` bytes at `bytes` (null: zeros).
ByteSet* NewByteSetFrom(const void* bytes, uint32_t length);

// ---- text arrays (item lists) ---------------------------------------------

// A one-dimensional array value of texts.
struct TextArray {
  uint32_t dimensions;  // 1
  uint32_t size;
  char** items() { return reinterpret_cast<char**>(this + 1); }
  char* const* items() const { return reinterpret_cast<char* const*>(this + 1); }
};

// A new array with no element (one dimension of size 0).
TextArray* NewTextArray();
// Grows the array by one element holding a new copy of `text` (null reads as
// the empty text). The array variable is replaced by the reallocated block;
// a null variable first gets a new empty array.
void AppendTextItem(TextArray** array, const char* text);
// Releases every element and then the array block. Null is accepted.
void ReleaseTextArray(TextArray* array);

// ---- counting array elements ----------------------------------------------

// Element count of an array value: 0 with no dimensions, else the product of
// the dimension sizes (wrapping like the 32-bit multiply it is). `first`,
// when not null, receives the address of the first element, just after the
// last dimension size.
// Strict form: the array must exist.
uint32_t ArrayElementCount(const void* array, const void** first);
// Tolerant form: a null array has 0 elements (and `first` is set to null).
uint32_t ArrayElementCountTolerant(const void* array, const void** first);

// ---- texts -----------------------------------------------------------------

// Bytes before the terminating zero; 0 for null.
uint32_t TextLength(const char* text);
// A new text holding a copy of `text` (null gives a new empty text).
char* CopyText(const char* text);
// A new text of the first `length` bytes at `bytes` (which need no zero).
char* CopyTextBytes(const char* bytes, uint32_t length);

// One allocation, one copy per piece: a new text of the `count` pieces one
// after another. Null pieces join as nothing. `count` must be at least 1.
char* JoinTexts(const char* const* pieces, uint32_t count);
inline char* JoinTexts(const char* a, const char* b) {
  const char* p[] = {a, b};
  return JoinTexts(p, 2);
}
inline char* JoinTexts(const char* a, const char* b, const char* c) {
  const char* p[] = {a, b, c};
  return JoinTexts(p, 3);
}
inline char* JoinTexts(const char* a, const char* b, const char* c, const char* d) {
  const char* p[] = {a, b, c, d};
  return JoinTexts(p, 4);
}
inline char* JoinTexts(const char* a, const char* b, const char* c, const char* d, const char* e) {
  const char* p[] = {a, b, c, d, e};
  return JoinTexts(p, 5);
}
inline char* JoinTexts(const char* a, const char* b, const char* c, const char* d, const char* e,
                       const char* f) {
  const char* p[] = {a, b, c, d, e, f};
  return JoinTexts(p, 6);
}

// 0 when equal, -1 when a sorts before b, 1 after. Unsigned bytes, no locale;
// null equals "".
int32_t CompareTexts(const char* a, const char* b);
// 0 when the ranges are equal (always for count 0), else -1 or 1 by the first
// differing unsigned byte.
int32_t CompareBytes(const void* a, const void* b, uint32_t count);

// Toward zero (2.9 -> 2, -2.9 -> -2), by integer work on the bits of the
// double, so the FPU's rounding mode is neither used nor changed. NaN,
// infinities and values beyond the 64-bit range give INT64_MIN, the value
// x86's own conversion instruction gives for them.
int64_t TruncateToInteger(double value);

// Position (1-based) of the first occurrence of `sought` in `text` that
// starts at or after `start` (below 1 reads as 1), or -1. An empty sought
// text is never found. The search steps over GBK characters as wholes: a
// match starts only at a character boundary, and with `ignoreCase` only ASCII
// letters that are characters by themselves are folded (the trail byte of a
// double-byte character is never folded). This is the same rule as the
// runtime's find command.
int32_t FindText(const char* text, const char* sought, int32_t start, bool ignoreCase);

// The text strictly between the first `left` marker at or after `start` and
// the first `right` marker that begins after it; the empty text when either is
// missing. QUOTE_TOKEN in a marker stands for a double quote. Case is ignored
// unless `caseSensitive` is true. `start` omitted is 0: a start position
// below 1 searches from the first byte.
char* TextBetween(const char* source, const char* left, const char* right, int32_t start = 0,
                  bool caseSensitive = false);

// ---- owners ----------------------------------------------------------------

// Releases the owned block at scope end. No copies; Take() hands it over.
template <typename T>
class Owned {
 public:
  Owned() : value_(nullptr) {}
  explicit Owned(T* value) : value_(value) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { tulora_services.Release(value_); }
  T* get() const { return value_; }
  T* Take() {
    T* v = value_;
    value_ = nullptr;
    return v;
  }
  void Reset(T* value) {
    tulora_services.Release(value_);
    value_ = value;
  }
  T** Address() { return &value_; }

 private:
  T* value_;
};
using OwnedText = Owned<char>;
using OwnedBytes = Owned<ByteSet>;

// Owner of a text array: releases the elements too.
class OwnedTextArray {
 public:
  explicit OwnedTextArray(TextArray* value) : value_(value) {}
  OwnedTextArray(const OwnedTextArray&) = delete;
  OwnedTextArray& operator=(const OwnedTextArray&) = delete;
  ~OwnedTextArray() { ReleaseTextArray(value_); }
  TextArray* get() const { return value_; }
  TextArray** Address() { return &value_; }

 private:
  TextArray* value_;
};

// Replaces the text in `*variable` by `value`, releasing the old one.
void ReplaceText(char** variable, char* value);

// The same for an out parameter the caller may have left out: with no
// variable, `value` is released.
void StoreText(char** variable, char* value);

}  // namespace tulora

#endif  // TULORA_IMAGE_VALUES_H
