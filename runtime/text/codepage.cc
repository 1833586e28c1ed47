// Code page conversions. See codepage.h for the rules.
#include "runtime/text/codepage.h"

#include <array>
#include <cstring>
#include <memory>

namespace tulora {
namespace {

#include "runtime/text/gbk_platform.inc"
#include "runtime/text/gbk_table.inc"

constexpr uint16_t kReplacement = 0xFFFD;
constexpr uint16_t kEuro = 0x20AC;
constexpr uint16_t kPrivateFF = 0xF8F5;

bool IsLead(uint8_t b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrail(uint8_t b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Writes units into dst up to its capacity and counts all of them.
template <typename Unit>
class Sink {
 public:
  Sink(Unit* dst, int capacity) : dst_(dst), capacity_(dst != nullptr ? capacity : 0) {}
  void Put(Unit u) {
    if (count_ < capacity_) dst_[count_] = u;
    ++count_;
  }
  long long count() const { return count_; }

 private:
  Unit* dst_;
  long long capacity_;
  long long count_ = 0;
};

// ---- UTF-8 -> UTF-16 ---------------------------------------------------------

// Length of the well-formed UTF-8 sequence at s[0..n), or the negative length
// of its maximal ill-formed prefix (at least 1). *cp gets the code point.
int DecodeUtf8(const uint8_t* s, size_t n, uint32_t* cp) {
  uint8_t b0 = s[0];
  if (b0 < 0x80) {
    *cp = b0;
    return 1;
  }
  int need;
  uint8_t lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    *cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    *cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    *cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return -1;
  }
  for (int i = 1; i <= need; ++i) {
    if (static_cast<size_t>(i) >= n) return -i;
    // A continuation byte out of the lead byte's range (an overlong form, a
    // surrogate, beyond U+10FFFF) is taken with the lead byte as one part,
    // as the Windows function does.
    if (i == 1 && s[1] >= 0x80 && s[1] <= 0xBF && (s[1] < lo || s[1] > hi)) return -2;
    if (s[i] < lo || s[i] > hi) return -i;
    *cp = (*cp << 6) | (s[i] & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  return need + 1;
}

// Returns false on an invalid sequence when `strict`.
bool Utf8ToUtf16(const uint8_t* s, size_t n, Sink<uint16_t>& out, bool strict) {
  size_t i = 0;
  while (i < n) {
    uint32_t cp = 0;
    int len = DecodeUtf8(s + i, n - i, &cp);
    if (len < 0) {
      if (strict) return false;
      out.Put(kReplacement);
      i += static_cast<size_t>(-len);
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.Put(static_cast<uint16_t>(0xD800 | (cp >> 10)));
      out.Put(static_cast<uint16_t>(0xDC00 | (cp & 0x3FF)));
    } else {
      out.Put(static_cast<uint16_t>(cp));
    }
    i += static_cast<size_t>(len);
  }
  return true;
}

// ---- GBK -> UTF-16 -----------------------------------------------------------

bool GbkToUtf16(const uint8_t* s, size_t n, Sink<uint16_t>& out, bool strict) {
  size_t i = 0;
  while (i < n) {
    uint8_t b = s[i];
    if (b < 0x80) {
      out.Put(b);
      ++i;
    } else if (b == 0x80 || b == 0xFF) {
      if (b == 0xFF && strict) return false;  // the platform counts it invalid
      out.Put(b == 0x80 ? kEuro : kPrivateFF);
      ++i;
    } else if (i + 1 < n && s[i + 1] != 0) {
      // A lead byte takes the next byte with it, whatever it is: a pair
      // with no character (also one whose trail is no trail byte) is one "?".
      uint16_t u =
          IsTrail(s[i + 1]) ? GbkCodeToUnicode(static_cast<uint16_t>(b << 8 | s[i + 1])) : 0;
      if (u == 0 && strict) return false;
      out.Put(u != 0 ? u : '?');
      i += 2;
    } else {
      if (strict) return false;
      out.Put('?');
      ++i;
    }
  }
  return true;
}

// ---- UTF-16 -> UTF-8 ---------------------------------------------------------

bool IsHighSurrogate(uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void PutUtf8(uint32_t cp, Sink<char>& out) {
  auto put = [&out](uint32_t b) { out.Put(static_cast<char>(static_cast<uint8_t>(b))); };
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6));
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18));
    put(0x80 | ((cp >> 12) & 0x3F));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
}

bool Utf16ToUtf8(const uint16_t* s, size_t n, Sink<char>& out, bool strict) {
  for (size_t i = 0; i < n; ++i) {
    uint16_t u = s[i];
    if (IsHighSurrogate(u) && i + 1 < n && IsLowSurrogate(s[i + 1])) {
      PutUtf8(0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00), out);
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      if (strict) return false;
      PutUtf8(kReplacement, out);
    } else {
      PutUtf8(u, out);
    }
  }
  return true;
}

// ---- UTF-16 -> GBK -----------------------------------------------------------

// Unicode -> GBK code: below 0x100 one byte, else lead << 8 | trail; 0 none.
const std::array<uint16_t, 0x10000>& ReverseTable() {
  static const std::unique_ptr<std::array<uint16_t, 0x10000>> table = [] {
    auto t = std::make_unique<std::array<uint16_t, 0x10000>>();  // zeroed
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        uint16_t u = kGbkToUnicode[lead - 0x81][trail - 0x40];
        if (u != 0 && (*t)[u] == 0) (*t)[u] = static_cast<uint16_t>(lead << 8 | trail);
      }
    }
    for (const auto& e : kGbkUserDefined) {
      if ((*t)[e[1]] == 0) (*t)[e[1]] = e[0];
    }
    for (const auto& e : kGbkBestFit) {
      if ((*t)[e[0]] == 0) (*t)[e[0]] = e[1];
    }
    for (int b = 1; b < 0x80; ++b) (*t)[b] = static_cast<uint16_t>(b);
    (*t)[kEuro] = 0x80;
    (*t)[kPrivateFF] = 0xFF;
    return t;
  }();
  return *table;
}

struct DefaultChar {
  uint8_t bytes[2];
  int length;
};

DefaultChar DefaultFrom(const char* given) {
  if (given == nullptr || given[0] == 0) return {{'?', 0}, 1};
  uint8_t b0 = static_cast<uint8_t>(given[0]);
  uint8_t b1 = static_cast<uint8_t>(given[1]);
  if (IsLead(b0) && IsTrail(b1)) return {{b0, b1}, 2};
  return {{b0, 0}, 1};
}

void Utf16ToGbk(const uint16_t* s, size_t n, Sink<char>& out, const DefaultChar& fallback,
                bool* usedDefault) {
  const auto& table = ReverseTable();
  for (size_t i = 0; i < n; ++i) {
    uint16_t u = s[i];
    uint16_t code = u == 0 ? 0 : table[u];
    if (u == 0) {
      out.Put(0);
      continue;
    }
    if (code == 0) {
      // Every unit GBK lacks gets its own default character: a surrogate
      // pair gives two, as the Windows function does.
      for (int k = 0; k < fallback.length; ++k) out.Put(static_cast<char>(fallback.bytes[k]));
      *usedDefault = true;
    } else if (code < 0x100) {
      out.Put(static_cast<char>(code));
    } else {
      out.Put(static_cast<char>(code >> 8));
      out.Put(static_cast<char>(code & 0xFF));
    }
  }
}

// The character of a code of the user-defined areas, or 0 (the rows are
// sorted by code).
uint16_t UserDefinedChar(uint16_t code) {
  size_t lo = 0, hi = sizeof(kGbkUserDefined) / sizeof(kGbkUserDefined[0]);
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (kGbkUserDefined[mid][0] == code) return kGbkUserDefined[mid][1];
    if (kGbkUserDefined[mid][0] < code)
      lo = mid + 1;
    else
      hi = mid;
  }
  return 0;
}

bool IsGbkPage(uint32_t codePage) { return codePage == CP_GBK || codePage == CP_ANSI; }

// Number of source units to convert, or -1 for an invalid length.
template <typename Unit>
long long SourceLength(const Unit* src, int srcLen) {
  if (src == nullptr || srcLen == 0 || srcLen < -1) return -1;
  if (srcLen > 0) return srcLen;
  long long n = 0;
  while (src[n] != 0) ++n;
  return n + 1;  // the terminator is converted too
}

bool ValidDestination(const void* dst, int dstLen) {
  return dstLen == 0 || (dstLen > 0 && dst != nullptr);
}

template <typename Unit>
int Finish(const Sink<Unit>& out, int dstLen) {
  if (out.count() > 0x7FFFFFFF) return 0;
  if (dstLen != 0 && out.count() > dstLen) return 0;  // too small
  return static_cast<int>(out.count());
}

}  // namespace

uint16_t GbkCodeToUnicode(uint16_t code) {
  uint8_t lead = static_cast<uint8_t>(code >> 8);
  uint8_t trail = static_cast<uint8_t>(code);
  if (!IsLead(lead) || !IsTrail(trail)) return 0;
  const uint16_t u = kGbkToUnicode[lead - 0x81][trail - 0x40];
  return u != 0 ? u : UserDefinedChar(code);
}

int CpMultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* src, int srcLen,
                          uint16_t* dst, int dstLen) {
  long long n = SourceLength(src, srcLen);
  if (n < 0 || !ValidDestination(dst, dstLen)) return 0;
  if ((flags & ~CP_FLAG_MB_ERR_INVALID_CHARS) != 0) return 0;
  bool strict = flags != 0;
  Sink<uint16_t> out(dstLen > 0 ? dst : nullptr, dstLen);
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(src);
  bool ok;
  if (codePage == CP_UTF8_PAGE) {
    ok = Utf8ToUtf16(bytes, static_cast<size_t>(n), out, strict);
  } else if (IsGbkPage(codePage)) {
    ok = GbkToUtf16(bytes, static_cast<size_t>(n), out, strict);
  } else {
    return 0;
  }
  return ok ? Finish(out, dstLen) : 0;
}

int CpWideCharToMultiByte(uint32_t codePage, uint32_t flags, const uint16_t* src, int srcLen,
                          char* dst, int dstLen, const char* defaultChar, int32_t* usedDefault) {
  long long n = SourceLength(src, srcLen);
  if (n < 0 || !ValidDestination(dst, dstLen)) return 0;
  Sink<char> out(dstLen > 0 ? dst : nullptr, dstLen);
  if (codePage == CP_UTF8_PAGE) {
    if ((flags & ~CP_FLAG_WC_ERR_INVALID_CHARS) != 0) return 0;
    if (defaultChar != nullptr || usedDefault != nullptr) return 0;
    bool ok = Utf16ToUtf8(src, static_cast<size_t>(n), out, flags != 0);
    return ok ? Finish(out, dstLen) : 0;
  }
  if (!IsGbkPage(codePage) || flags != 0) return 0;
  bool used = false;
  Utf16ToGbk(src, static_cast<size_t>(n), out, DefaultFrom(defaultChar), &used);
  if (usedDefault != nullptr) *usedDefault = used ? 1 : 0;
  return Finish(out, dstLen);
}

}  // namespace tulora
