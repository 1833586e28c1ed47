#include "runtime/text/number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace tulora {
namespace {

// The shortest fixed text that reads back, as the C++ library writes it:
// the reference for every finite number that is not zero.
std::string Reference(double value) {
  char buffer[400];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  EXPECT_EQ(ec, std::errc());
  return std::string(buffer, end);
}

TEST(NumberTextTest, WritesTheCasesThatNeedCare) {
  const double tie = 0x1p50 + 0.25;  // .2 and .3 both read back: the even one
  struct Row {
    double value;
    std::string text;
  } rows[] = {
      {7284.0, "7284"},
      {-0.0, "0"},
      {std::nan(""), "nan"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {1e23, "99999999999999991611392"},  // whole: every digit of the value
      {0x1p63, "9223372036854775808"},
      {0.1 + 0.2, "0.30000000000000004"},
      {-1e-7, "-0.0000001"},
      {tie, "1125899906842624.2"},
      {0x1p52 - 0.5, "4503599627370495.5"},
      {0x1p-1022, Reference(0x1p-1022)},  // the interval narrower below
      {std::numeric_limits<double>::denorm_min(), "0." + std::string(323, '0') + "5"},
  };
  for (const Row& r : rows) EXPECT_EQ(NumberToText(r.value), r.text) << r.text;
  EXPECT_EQ(NumberToText(std::numeric_limits<double>::max()).size(), 309u);
}

// Random bit patterns cover every binary exponent; short decimals and
// powers of two are where the shortest text and the interval's edges
// matter most.
TEST(NumberTextTest, AgreesWithTheLibraryOnEveryKindOfNumber) {
  std::mt19937_64 random(20261209);
  auto check = [](double value) {
    if (!std::isfinite(value) || value == 0) return true;
    const std::string text = NumberToText(value);
    EXPECT_EQ(text, Reference(value)) << std::hexfloat << value;
    return text == Reference(value);
  };
  int failures = 0;
  for (int i = 0; i < 40000 && failures < 5; ++i) {
    failures += !check(std::bit_cast<double>(random()));
    const double decimal = static_cast<double>(random() % 100000) / std::pow(10.0, random() % 12);
    failures += !check(decimal) + !check(-decimal);
  }
  for (int e = -1074; e <= 1023 && failures < 5; ++e) {
    const double power = std::ldexp(1.0, e);
    failures += !check(power) + !check(std::nextafter(power, 0.0)) + !check(std::nextafter(power, 1e300));
  }
}

}  // namespace
}  // namespace tulora
