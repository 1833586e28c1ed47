// Fuzzes the code page conversions with arbitrary bytes, as fetched pages
// give them: for each code page the size query must equal the converted
// count, a buffer one unit short must be refused, and converting the UTF-16
// result back and forth must be stable (GBK text that went through UTF-16
// once converts to the same bytes again; UTF-16 from either page survives a
// trip through UTF-8 unchanged).
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/text/codepage.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::vector<uint16_t> ToWide(uint32_t page, const char* src, int len) {
  int n = tulora::CpMultiByteToWideChar(page, 0, src, len, nullptr, 0);
  Check(n > 0);
  std::vector<uint16_t> out(static_cast<size_t>(n));
  Check(tulora::CpMultiByteToWideChar(page, 0, src, len, out.data(), n) == n);
  if (n > 1) {
    std::vector<uint16_t> small(static_cast<size_t>(n - 1));
    Check(tulora::CpMultiByteToWideChar(page, 0, src, len, small.data(), n - 1) == 0);
  }
  return out;
}

std::string FromWide(uint32_t page, const std::vector<uint16_t>& units) {
  int len = static_cast<int>(units.size());
  int n = tulora::CpWideCharToMultiByte(page, 0, units.data(), len, nullptr, 0, nullptr, nullptr);
  Check(n > 0);
  std::string out(static_cast<size_t>(n), '\0');
  Check(tulora::CpWideCharToMultiByte(page, 0, units.data(), len, out.data(), n, nullptr,
                                      nullptr) == n);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  const char* src = reinterpret_cast<const char*>(data);
  int len = static_cast<int>(size);
  for (uint32_t page : {tulora::CP_UTF8_PAGE, tulora::CP_GBK}) {
    std::vector<uint16_t> wide = ToWide(page, src, len);
    std::string once = FromWide(tulora::CP_GBK, wide);
    std::string twice = FromWide(
        tulora::CP_GBK, ToWide(tulora::CP_GBK, once.data(), static_cast<int>(once.size())));
    Check(once == twice);
    std::string utf8 = FromWide(tulora::CP_UTF8_PAGE, wide);
    // Decoding never makes a lone surrogate, so UTF-8 carries it exactly.
    Check(ToWide(tulora::CP_UTF8_PAGE, utf8.data(), static_cast<int>(utf8.size())) == wide);
  }
  // The -1 form stops at the first zero and counts it.
  std::string text(src, size);
  int n = tulora::CpMultiByteToWideChar(tulora::CP_UTF8_PAGE, 0, text.c_str(), -1, nullptr, 0);
  Check(n >= 1);
  return 0;
}
