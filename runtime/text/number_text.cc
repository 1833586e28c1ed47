// Decimal texts of numbers. See number_text.h.
#include "runtime/text/number_text.h"

#include <bit>
#include <cstdint>

namespace tulora {
namespace {

// An unsigned integer of 40 words of 32 bits, the least significant word
// first. Every value below stays under 2^1090: a double is at most 2^1024,
// and the digit search keeps its scaled value and margins within a few
// powers of ten of 2^1075.
class Big {
 public:
  static constexpr int kWords = 40;

  explicit Big(uint64_t value = 0) {
    words_[0] = static_cast<uint32_t>(value);
    words_[1] = static_cast<uint32_t>(value >> 32);
  }

  void ShiftLeft(int bits) {
    const int whole = bits / 32, part = bits % 32;
    for (int i = kWords - 1; i >= 0; --i) {
      const int from = i - whole;
      uint64_t value = from >= 0 ? uint64_t{words_[from]} << part : 0;
      if (part != 0 && from >= 1) value |= words_[from - 1] >> (32 - part);
      words_[i] = static_cast<uint32_t>(value);
    }
  }

  void Multiply(uint32_t factor) {
    uint64_t carry = 0;
    for (uint32_t& word : words_) {
      const uint64_t product = uint64_t{word} * factor + carry;
      word = static_cast<uint32_t>(product);
      carry = product >> 32;
    }
  }

  void MultiplyByPowerOfTen(int exponent) {
    for (; exponent >= 9; exponent -= 9) Multiply(1000000000);
    for (; exponent > 0; --exponent) Multiply(10);
  }

  void Add(const Big& other) {
    uint64_t carry = 0;
    for (int i = 0; i < kWords; ++i) {
      const uint64_t sum = uint64_t{words_[i]} + other.words_[i] + carry;
      words_[i] = static_cast<uint32_t>(sum);
      carry = sum >> 32;
    }
  }

  // Only for other <= *this.
  void Subtract(const Big& other) {
    int64_t borrow = 0;
    for (int i = 0; i < kWords; ++i) {
      const int64_t difference = int64_t{words_[i]} - other.words_[i] - borrow;
      words_[i] = static_cast<uint32_t>(difference);
      borrow = difference < 0 ? 1 : 0;
    }
  }

  // Divides by `divisor`; the remainder.
  uint32_t Divide(uint32_t divisor) {
    uint64_t rest = 0;
    for (int i = kWords - 1; i >= 0; --i) {
      const uint64_t value = rest << 32 | words_[i];
      words_[i] = static_cast<uint32_t>(value / divisor);
      rest = value % divisor;
    }
    return static_cast<uint32_t>(rest);
  }

  bool IsZero() const {
    for (uint32_t word : words_) {
      if (word != 0) return false;
    }
    return true;
  }

  friend int Compare(const Big& a, const Big& b) {
    for (int i = kWords - 1; i >= 0; --i) {
      if (a.words_[i] != b.words_[i]) return a.words_[i] < b.words_[i] ? -1 : 1;
    }
    return 0;
  }

  friend Big Sum(Big a, const Big& b) {
    a.Add(b);
    return a;
  }

 private:
  uint32_t words_[kWords] = {};
};

// A finite, non-zero magnitude as mantissa x 2^exponent.
struct Binary {
  uint64_t mantissa;
  int exponent;
};

Binary Decompose(uint64_t magnitude) {
  const uint64_t fraction = magnitude & ((uint64_t{1} << 52) - 1);
  const int biased = static_cast<int>(magnitude >> 52);
  if (biased == 0) return {fraction, -1074};  // subnormal
  return {fraction | uint64_t{1} << 52, biased - 1075};
}

bool IsWhole(const Binary& b) {
  if (b.exponent >= 0) return true;
  if (-b.exponent >= 53) return false;  // below 1: the mantissa is under 2^53
  return (b.mantissa & ((uint64_t{1} << -b.exponent) - 1)) == 0;
}

std::string WholeDigits(const Binary& b) {
  if (b.exponent < 0) return std::to_string(b.mantissa >> -b.exponent);
  Big value(b.mantissa);
  value.ShiftLeft(b.exponent);
  std::string reversed;
  while (!value.IsZero()) reversed += static_cast<char>('0' + value.Divide(10));
  return std::string(reversed.rbegin(), reversed.rend());
}

// The search state: the number is r / s x 10^k, and a text reads back as
// it when it lies less than minus / s below it or plus / s above it. The
// interval's edges themselves never decide: an edge of a number that is
// not whole has n digits after the point where the interval is 2^-(n-1)
// wide, so a text with fewer digits always lies inside.
struct Search {
  Big r, s, plus, minus;
  int k = 0;

  void ScaleUp() {
    r.Multiply(10);
    plus.Multiply(10);
    minus.Multiply(10);
  }
};

// Starts the search for a number that is not whole (so its exponent is
// negative) with the smallest k for which the interval's top is at most
// 10^k. Where the number itself is below 10^(k-1) (the double nearest
// 1e-7 is), the first digit rounds up to 1 and is the only one.
Search StartSearch(const Binary& b) {
  Search x;
  // At a power of two the next double below is half as far as the next above.
  const bool narrowBelow = b.mantissa == uint64_t{1} << 52 && b.exponent > -1074;
  const int shift = narrowBelow ? 2 : 1;
  x.r = Big(b.mantissa << shift);
  x.s = Big(1);
  x.s.ShiftLeft(shift - b.exponent);
  x.plus = Big(narrowBelow ? 2 : 1);
  x.minus = Big(1);
  // An estimate of log10 of the number from its binary exponent (1233 /
  // 4096 is just under log10 2). It is never above the k sought, so the
  // loop below only has to raise it.
  const int bits = std::bit_width(b.mantissa) + b.exponent;
  x.k = ((bits - 1) * 1233) >> 12;
  if (x.k >= 0) {
    x.s.MultiplyByPowerOfTen(x.k);
  } else {
    x.r.MultiplyByPowerOfTen(-x.k);
    x.plus.MultiplyByPowerOfTen(-x.k);
    x.minus.MultiplyByPowerOfTen(-x.k);
  }
  while (Compare(Sum(x.r, x.plus), x.s) > 0) {
    x.s.Multiply(10);
    ++x.k;
  }
  return x;
}

// The fewest digits that read back, as "0.digits x 10^k".
std::string ShortestDigits(Search& x) {
  std::string digits;
  for (;;) {
    x.ScaleUp();
    int digit = 0;
    while (Compare(x.r, x.s) >= 0) {
      x.r.Subtract(x.s);
      ++digit;
    }
    const bool lowInside = Compare(x.r, x.minus) < 0;
    const bool highInside = Compare(Sum(x.r, x.plus), x.s) > 0;
    if (!lowInside && !highInside) {
      digits += static_cast<char>('0' + digit);
      continue;
    }
    if (lowInside && highInside) {  // both stop here: the nearer, on a tie the even one
      Big twice = x.r;
      twice.ShiftLeft(1);
      const int c = Compare(twice, x.s);
      if (c > 0 || (c == 0 && digit % 2 == 1)) ++digit;
    } else if (highInside) {
      ++digit;
    }
    digits += static_cast<char>('0' + digit);
    return digits;
  }
}

std::string FixedShortest(const Binary& b) {
  Search x = StartSearch(b);
  const std::string digits = ShortestDigits(x);
  const int point = x.k;
  if (point <= 0) return "0." + std::string(static_cast<size_t>(-point), '0') + digits;
  const size_t whole = static_cast<size_t>(point);
  if (whole >= digits.size()) return digits + std::string(whole - digits.size(), '0');
  return digits.substr(0, whole) + "." + digits.substr(whole);
}

}  // namespace

std::string NumberToText(double value) {
  constexpr uint64_t kSign = uint64_t{1} << 63, kInfinity = uint64_t{0x7FF} << 52;
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const uint64_t magnitude = bits & ~kSign;
  if (magnitude > kInfinity) return "nan";
  if (magnitude == 0) return "0";
  const std::string sign = (bits & kSign) != 0 ? "-" : "";
  if (magnitude == kInfinity) return sign + "inf";
  const Binary b = Decompose(magnitude);
  return sign + (IsWhole(b) ? WholeDigits(b) : FixedShortest(b));
}

}  // namespace tulora
