// memcpy, memset, memmove and memcmp for the program image, which has no C
// library: the compiler emits calls to them for block copies and clears.
// Only the image build uses this file; hosted builds take the C library's.
//
// The loops must not be turned back into calls of the functions they
// implement, hence the optimisation attribute.
#include <stddef.h>
#include <stdint.h>

#define TULORA_NO_LIBCALLS __attribute__((optimize("no-tree-loop-distribute-patterns")))

extern "C" {

TULORA_NO_LIBCALLS void* memcpy(void* to, const void* from, size_t count) {
  uint8_t* d = static_cast<uint8_t*>(to);
  const uint8_t* s = static_cast<const uint8_t*>(from);
  for (size_t i = 0; i < count; ++i) d[i] = s[i];
  return to;
}

TULORA_NO_LIBCALLS void* memset(void* to, int value, size_t count) {
  uint8_t* d = static_cast<uint8_t*>(to);
  for (size_t i = 0; i < count; ++i) d[i] = static_cast<uint8_t>(value);
  return to;
}

TULORA_NO_LIBCALLS void* memmove(void* to, const void* from, size_t count) {
  uint8_t* d = static_cast<uint8_t*>(to);
  const uint8_t* s = static_cast<const uint8_t*>(from);
  if (d < s) {
    for (size_t i = 0; i < count; ++i) d[i] = s[i];
  } else {
    for (size_t i = count; i > 0; --i) d[i - 1] = s[i - 1];
  }
  return to;
}

TULORA_NO_LIBCALLS int memcmp(const void* a, const void* b, size_t count) {
  const uint8_t* x = static_cast<const uint8_t*>(a);
  const uint8_t* y = static_cast<const uint8_t*>(b);
  for (size_t i = 0; i < count; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

}  // extern "C"
