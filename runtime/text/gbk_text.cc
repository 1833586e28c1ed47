#include "runtime/text/gbk_text.h"

#include <climits>
#include <vector>

#include "runtime/text/codepage.h"

namespace tulora::rt {
namespace {

// Texts beyond this are not converted (nothing the program handles comes
// near it; it keeps every length inside the int the conversions take).
constexpr size_t kMaxLength = 1u << 30;

std::vector<uint16_t> ToUtf16(uint32_t codePage, const char* text, size_t length) {
  std::vector<uint16_t> wide;
  if (length == 0 || length > kMaxLength) return wide;
  int n = static_cast<int>(length);
  int units = CpMultiByteToWideChar(codePage, 0, text, n, nullptr, 0);
  if (units <= 0) return wide;
  wide.resize(static_cast<size_t>(units));
  units = CpMultiByteToWideChar(codePage, 0, text, n, wide.data(), units);
  wide.resize(units > 0 ? static_cast<size_t>(units) : 0);
  return wide;
}

std::string FromUtf16(uint32_t codePage, const std::vector<uint16_t>& wide) {
  std::string out;
  if (wide.empty()) return out;
  int n = static_cast<int>(wide.size());
  int bytes = CpWideCharToMultiByte(codePage, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return out;
  out.resize(static_cast<size_t>(bytes));
  bytes = CpWideCharToMultiByte(codePage, 0, wide.data(), n, out.data(), bytes, nullptr, nullptr);
  out.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
  return out;
}

}  // namespace

std::string GbkToUtf8(const char* text, size_t length) {
  return FromUtf16(CP_UTF8_PAGE, ToUtf16(CP_GBK, text, length));
}

std::string Utf8ToGbk(const char* text, size_t length) {
  return FromUtf16(CP_GBK, ToUtf16(CP_UTF8_PAGE, text, length));
}

}  // namespace tulora::rt
