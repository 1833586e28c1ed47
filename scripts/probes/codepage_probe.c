/* Prints what MultiByteToWideChar and WideCharToMultiByte give for the code
 * page cases the runtime's own conversion documents: every single byte and
 * every double-byte pair of code page 936, ill-formed UTF-8, surrogates,
 * default characters, size queries and buffers that are too small.
 *
 * Built with mingw-w64 it calls the Windows functions (run it under 64-bit
 * wine); built natively with codepage_shim.cc it calls the runtime's
 * conversion. The two outputs are meant to be compared line by line
 * (codepage_compare.sh). Not part of the build or of CI. */
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include "codepage_shim.h"
#endif

static void PrintUnits(const WCHAR* units, int count) {
  for (int i = 0; i < count; ++i) printf(" %04X", (unsigned)units[i]);
}

static void PrintBytes(const char* bytes, int count) {
  for (int i = 0; i < count; ++i) printf(" %02X", (unsigned)(unsigned char)bytes[i]);
}

/* One MultiByteToWideChar call into a buffer of dstLen units (prefilled
 * with EEEE so that partial writes show). */
static void ToWide(const char* name, UINT cp, DWORD flags, const char* src, int srcLen,
                   int dstLen) {
  WCHAR dst[64];
  for (int i = 0; i < 64; ++i) dst[i] = 0xEEEE;
  SetLastError(0);
  int r = MultiByteToWideChar(cp, flags, src, srcLen, dstLen ? dst : NULL, dstLen);
  unsigned err = (unsigned)GetLastError();
  printf("mb %s cp=%u flags=%lu len=%d dst=%d: ret=%d err=%u out=", name, cp,
         (unsigned long)flags, srcLen, dstLen, r, r ? 0u : err);
  PrintUnits(dst, dstLen > 0 ? (dstLen < 64 ? dstLen : 64) : 0);
  printf("\n");
}

static void ToMulti(const char* name, UINT cp, DWORD flags, const WCHAR* src, int srcLen,
                    int dstLen, const char* defaultChar, int askUsed) {
  char dst[64];
  BOOL used = 7;
  memset(dst, 0xEE, sizeof dst);
  SetLastError(0);
  int r = WideCharToMultiByte(cp, flags, src, srcLen, dstLen ? dst : NULL, dstLen, defaultChar,
                              askUsed ? &used : NULL);
  unsigned err = (unsigned)GetLastError();
  printf("wc %s cp=%u flags=%lu len=%d dst=%d def=%s: ret=%d err=%u used=%d out=", name, cp,
         (unsigned long)flags, srcLen, dstLen, defaultChar ? "given" : "null", r, r ? 0u : err,
         askUsed ? (int)used : -1);
  PrintBytes(dst, dstLen > 0 ? (dstLen < 64 ? dstLen : 64) : 0);
  printf("\n");
}

/* Every single byte and every pair of 936 (each pair also followed by "A",
 * so that a lead byte whose trail is refused shows how the next byte is
 * read). */
static void Table936(void) {
  for (int b = 1; b < 256; ++b) {
    char s[2] = {(char)b, 0};
    WCHAR w[8];
    int r = MultiByteToWideChar(936, 0, s, 1, w, 8);
    printf("936 %02X:", b);
    PrintUnits(w, r);
    printf("\n");
  }
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x01; trail <= 0xFF; ++trail) {
      char s[3] = {(char)lead, (char)trail, 'A'};
      WCHAR w[8];
      int r = MultiByteToWideChar(936, 0, s, 3, w, 8);
      printf("936 %02X%02X41:", lead, trail);
      PrintUnits(w, r);
      printf("\n");
    }
  }
}

/* Every BMP character (and the surrogate range) back to 936, default "?". */
static void Reverse936(void) {
  for (unsigned c = 1; c <= 0xFFFF; ++c) {
    WCHAR w[1] = {(WCHAR)c};
    char out[8];
    BOOL used = 0;
    int r = WideCharToMultiByte(936, 0, w, 1, out, 8, NULL, &used);
    printf("rev %04X: used=%d", c, (int)used);
    PrintBytes(out, r);
    printf("\n");
  }
}

static const struct {
  const char* name;
  const char* bytes;
  int length;
} kUtf8[] = {
    {"ascii", "abc", 3},
    {"e-acute", "\xC3\xA9", 2},
    {"chinese", "\xE6\x98\xA5", 3},
    {"emoji", "\xF0\x9F\x98\x80", 4},
    {"bom", "\xEF\xBB\xBF", 3},
    {"stray80", "\x80", 1},
    {"strayBF-x", "\xBF" "x", 2},
    {"C0AF", "\xC0\xAF", 2},
    {"C1BF", "\xC1\xBF", 2},
    {"E080AF", "\xE0\x80\xAF", 3},
    {"F08080AF", "\xF0\x80\x80\xAF", 4},
    {"ED-A080", "\xED\xA0\x80", 3},
    {"ED-BFBF", "\xED\xBF\xBF", 3},
    {"ED-A0-ED-B0", "\xED\xA0\xBD\xED\xB8\x80", 6},
    {"F4908080", "\xF4\x90\x80\x80", 4},
    {"F5", "\xF5\x80\x80\x80", 4},
    {"FE", "\xFE", 1},
    {"FF", "\xFF", 1},
    {"cut2", "\xC3", 1},
    {"cut3", "\xE6\x98", 2},
    {"cut3-A", "\xE6\x98" "A", 3},
    {"cut4", "\xF0\x9F\x98", 3},
    {"cut4-A", "\xF0\x9F\x98" "A", 4},
    {"E6-C3A9", "\xE6\xC3\xA9", 3},
    {"two-stray", "\x80\x80", 2},
    {"F0-80", "\xF0\x80", 2},
    {"mixed", "a\xE6\x98\xA5\xFF\xC3\xA9\xED\xA0\x80z", 11},
};

static const struct {
  const char* name;
  WCHAR units[4];
  int length;
} kWide[] = {
    {"euro", {0x20AC}, 1},
    {"F8F5", {0xF8F5}, 1},
    {"middot", {0x00B7}, 1},
    {"fffd", {0xFFFD}, 1},
    {"chun", {0x6625}, 1},
    {"e-acute", {0x00E9}, 1},
    {"lone-high", {0xD800}, 1},
    {"lone-low", {0xDC00}, 1},
    {"high-A", {0xD83D, 0x0041}, 2},
    {"pair", {0xD83D, 0xDE00}, 2},
    {"low-high", {0xDE00, 0xD83D}, 2},
    {"pair-chun", {0xD83D, 0xDE00, 0x6625}, 3},
    {"ideo-space", {0x3000}, 1},
    {"A-chun", {0x0041, 0x6625}, 2},
};

int main(void) {
  static const DWORD kMbFlags[] = {0, 8};
  for (size_t i = 0; i < sizeof kUtf8 / sizeof kUtf8[0]; ++i) {
    for (int f = 0; f < 2; ++f) {
      ToWide(kUtf8[i].name, 65001, kMbFlags[f], kUtf8[i].bytes, kUtf8[i].length, 16);
      ToWide(kUtf8[i].name, 65001, kMbFlags[f], kUtf8[i].bytes, kUtf8[i].length, 0);
    }
  }
  /* 936 in: 0x80, 0xFF, lone lead bytes, refused trails, unassigned pairs. */
  static const struct {
    const char* name;
    const char* bytes;
    int length;
  } k936[] = {
      {"80", "\x80", 1},          {"FF", "\xFF", 1},         {"lead-end", "\x81", 1},
      {"lead-space", "\x81 ", 2}, {"lead-7F", "\x81\x7F", 2}, {"lead-FF", "\x81\xFF", 2},
      {"lead-lead", "\xB4\xB4\xBA", 3}, {"A2A0", "\xA2\xA0", 2}, {"A2AB", "\xA2\xAB", 2},
      {"AAA1", "\xAA\xA1", 2},    {"FEFE", "\xFE\xFE", 2},   {"chun", "\xB4\xBA", 2},
      {"A1A1", "\xA1\xA1", 2},    {"lead-00", "\x81\x00" "A", 3},
  };
  for (size_t i = 0; i < sizeof k936 / sizeof k936[0]; ++i) {
    for (int f = 0; f < 2; ++f) {
      ToWide(k936[i].name, 936, kMbFlags[f], k936[i].bytes, k936[i].length, 16);
    }
  }
  for (size_t i = 0; i < sizeof kWide / sizeof kWide[0]; ++i) {
    ToMulti(kWide[i].name, 936, 0, kWide[i].units, kWide[i].length, 16, NULL, 1);
    ToMulti(kWide[i].name, 936, 0, kWide[i].units, kWide[i].length, 16, "*", 1);
    ToMulti(kWide[i].name, 936, 0, kWide[i].units, kWide[i].length, 16, "\xA1\xF6", 1);
    ToMulti(kWide[i].name, 936, 0, kWide[i].units, kWide[i].length, 0, NULL, 1);
    ToMulti(kWide[i].name, 65001, 0, kWide[i].units, kWide[i].length, 16, NULL, 0);
    ToMulti(kWide[i].name, 65001, 0x80, kWide[i].units, kWide[i].length, 16, NULL, 0);
  }
  /* Lengths: terminator, size queries, too-small buffers, bad arguments. */
  ToWide("term", 65001, 0, "ab", -1, 16);
  ToWide("term-query", 65001, 0, "ab", -1, 0);
  ToWide("zero-len", 65001, 0, "ab", 0, 16);
  ToWide("len-minus2", 65001, 0, "ab", -2, 16);
  ToWide("small", 65001, 0, "abc", 3, 2);
  ToWide("small-pair", 65001, 0, "a\xF0\x9F\x98\x80", 5, 2);
  ToWide("small-term", 65001, 0, "abc", -1, 3);
  ToWide("small-936", 936, 0, "a\xB4\xBA" "b", 4, 2);
  ToWide("dst-negative", 65001, 0, "abc", 3, -1);
  ToWide("bad-cp", 12345, 0, "abc", 3, 16);
  ToWide("bad-flag-936", 936, 0x10, "abc", 3, 16);
  {
    static const WCHAR abc[] = {0x61, 0x6625, 0x62, 0};
    static const WCHAR pair[] = {0x61, 0xD83D, 0xDE00, 0};
    ToMulti("term", 936, 0, abc, -1, 16, NULL, 1);
    ToMulti("term-query", 936, 0, abc, -1, 0, NULL, 1);
    ToMulti("small-half-char", 936, 0, abc, 3, 2, NULL, 1);
    ToMulti("small-one", 936, 0, abc, 3, 1, NULL, 1);
    ToMulti("small-utf8", 65001, 0, abc, 3, 3, NULL, 0);
    ToMulti("small-utf8-pair", 65001, 0, pair, 3, 4, NULL, 0);
    ToMulti("zero-len", 936, 0, abc, 0, 16, NULL, 1);
    ToMulti("utf8-default", 65001, 0, abc, 3, 16, "?", 0);
    ToMulti("utf8-used", 65001, 0, abc, 3, 16, NULL, 1);
    ToMulti("bad-cp", 12345, 0, abc, 3, 16, NULL, 1);
  }
  Table936();
  Reverse936();
  return 0;
}
