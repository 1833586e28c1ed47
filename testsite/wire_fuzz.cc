// Fuzzes the request head reader with arbitrary bytes: it must stay inside
// its input and keep its results consistent.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string_view>

#include "wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view raw(reinterpret_cast<const char*>(data), size);
  tulora::testsite::LoggedRequest request;
  size_t head_size = 0;
  if (tulora::testsite::ParseRequestHead(raw, &request, &head_size) && head_size > size) abort();
  if (request.requestLine.size() > size) abort();
  request.Header("host");
  request.Path();
  return 0;
}
