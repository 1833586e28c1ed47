#include "runtime/linux_winapi/header_lists.h"

#include <strings.h>

#include <string>
#include <string_view>
#include <vector>

namespace tulora::net {
namespace {

bool NameIs(std::string_view line, std::string_view name) {
  size_t colon = line.find(':');
  std::string_view n = line.substr(0, colon);
  while (!n.empty() && n.back() == ' ') n.remove_suffix(1);
  return colon != std::string_view::npos && n.size() == name.size() &&
         strncasecmp(n.data(), name.data(), name.size()) == 0;
}

bool HasLine(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    if (NameIs(line, name)) return true;
  }
  return false;
}

// curl drops a "Name:" line with nothing after the colon; "Name;" is its
// way of sending the empty value.
std::string CurlHeaderForm(const std::string& line) {
  size_t colon = line.find(':');
  if (line.find_first_not_of(' ', colon + 1) != std::string::npos) return line;
  return line.substr(0, colon) + ";";
}

}  // namespace

void BuildHeaders(const TransferRequest& r, bool via_proxy, HeaderLists* lists) {
  for (const std::string& line : r.headerLines) {
    if (line.find(':') == std::string::npos) continue;
    curl_slist*& list =
        via_proxy && NameIs(line, "Proxy-Authorization") ? lists->proxy : lists->server;
    list = curl_slist_append(list, CurlHeaderForm(line).c_str());
  }
  // Only what the caller asked for: none of curl's own extras.
  if (!r.defaultAccept && !HasLine(r.headerLines, "Accept")) {
    lists->server = curl_slist_append(lists->server, "Accept:");
  }
  lists->server = curl_slist_append(lists->server, "Expect:");
  if (r.sendBody && !HasLine(r.headerLines, "Content-Type")) {
    lists->server = curl_slist_append(lists->server, "Content-Type:");
  }
}

}  // namespace tulora::net
