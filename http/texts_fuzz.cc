// Fuzzes the text routines of the HTTP module and TextBetween with arbitrary
// texts: the input is cut at its first two zero bytes into up to three texts.
// Checks that nothing crashes, that the results are consistent and that
// every block is released again.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string>

#include "http/cookies.h"
#include "http/headers.h"
#include "http/url.h"
#include "image/values.h"
#include "tests/support/hosted_runtime.h"

namespace {

using tulora::CopyText;

void Check(bool ok) {
  if (!ok) std::abort();
}

void Release(char* text) { tulora_services.Release(text); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string parts[3];
  size_t at = 0;
  for (int i = 0; i < 3 && at <= input.size(); ++i) {
    size_t end = i < 2 ? input.find('\0', at) : std::string::npos;
    if (end == std::string::npos) end = input.size();
    parts[i] = input.substr(at, end - at);
    at = end + 1;
  }
  const char* a = parts[0].c_str();
  const char* b = parts[1].c_str();
  const char* c = parts[2].c_str();
  int64_t live = tulora::hosted::LiveBlocks();

  char* between = tulora::TextBetween(a, b, c);
  Check(tulora::TextLength(between) <= tulora::TextLength(a));
  Release(between);

  Release(tulora::UrlHost(a));
  Release(tulora::UrlHost(a, true));
  (void)tulora::UrlPort(a);
  char* path = tulora::UrlPath(a);
  Check(path[0] == '/' || tulora::TextLength(path) > 0);
  Release(path);

  char* oldCookies = CopyText(a);
  char* newCookies = CopyText(b);
  char* merged = tulora::MergeCookies(&oldCookies, &newCookies);
  Check(tulora::CompareTexts(merged, oldCookies) == 0);
  // No deletion item survives and no space is left in the response cookies.
  std::string mergedText(merged);
  Check(mergedText.find("=deleted; ") == std::string::npos);
  Check(mergedText.size() < 8 || mergedText.compare(mergedText.size() - 8, 8, "=deleted") != 0);
  Check(std::string(newCookies).find(' ') == std::string::npos);
  Release(merged);
  Release(oldCookies);
  Release(newCookies);

  char* headers = CopyText(a);
  tulora::AddDefaultHeaders(&headers, b, 1);
  char* normalized = tulora::NormalizeHeaderText(headers);
  Check(tulora::TextLength(normalized) <= tulora::TextLength(headers));
  tulora::ApplyHeaderText(
      normalized, [](void*, const char*, const char*) {}, nullptr);
  Release(normalized);
  Release(headers);

  Check(tulora::hosted::LiveBlocks() == live);
  return 0;
}
