#include "runtime/text/wide_text.h"

#include <climits>

#include "runtime/text/codepage.h"

namespace tulora::rt {

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "wchar_t is a UTF-16 unit");

std::wstring GbkToWide(const char* text, size_t length) {
  if (length == 0 || length > INT_MAX) return std::wstring();
  const int n = static_cast<int>(length);
  const int units = CpMultiByteToWideChar(CP_GBK, 0, text, n, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(units), L'\0');
  const int written =
      CpMultiByteToWideChar(CP_GBK, 0, text, n, reinterpret_cast<uint16_t*>(wide.data()), units);
  wide.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return wide;
}

std::string WideToGbk(const wchar_t* text, size_t length) {
  if (length == 0 || length > INT_MAX) return std::string();
  const int n = static_cast<int>(length);
  const uint16_t* units = reinterpret_cast<const uint16_t*>(text);
  const int bytes = CpWideCharToMultiByte(CP_GBK, 0, units, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string gbk(static_cast<size_t>(bytes), '\0');
  const int written =
      CpWideCharToMultiByte(CP_GBK, 0, units, n, gbk.data(), bytes, nullptr, nullptr);
  gbk.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return gbk;
}

}  // namespace tulora::rt
