#include "runtime/linux_winapi/proxy_list.h"

#include <string.h>
#include <strings.h>

namespace tulora::net {
namespace {

bool IsSeparator(char c) { return c == ' ' || c == ';' || c == '\t'; }

bool SchemeIs(std::string_view scheme, const char* name) {
  size_t n = strlen(name);
  return scheme.size() == n && strncasecmp(scheme.data(), name, n) == 0;
}

}  // namespace

std::string ProxyFor(std::string_view list, bool secure) {
  std::string_view general, specific;
  size_t pos = 0;
  while (pos < list.size()) {
    while (pos < list.size() && IsSeparator(list[pos])) ++pos;
    size_t end = pos;
    while (end < list.size() && !IsSeparator(list[end])) ++end;
    std::string_view entry = list.substr(pos, end - pos);
    pos = end;
    if (entry.empty()) continue;
    size_t eq = entry.find('=');
    if (eq == std::string_view::npos) {
      if (general.empty()) general = entry;
    } else if (specific.empty() && SchemeIs(entry.substr(0, eq), secure ? "https" : "http")) {
      specific = entry.substr(eq + 1);
    }
  }
  return std::string(specific.empty() ? general : specific);
}

}  // namespace tulora::net
