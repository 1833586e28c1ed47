#include "runtime/kernel/dll_calls.h"

#include <cctype>

namespace tulora::rt {

std::string DllBaseName(const std::string& dll) {
  std::string lower;
  for (char c : dll) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string suffix = ".dll";
  if (lower.size() > suffix.size() &&
      lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0) {
    lower.resize(lower.size() - suffix.size());
  }
  return lower;
}

}  // namespace tulora::rt
