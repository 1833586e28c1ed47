// Absolute http and https URLs as the transfer engine needs them: split
// into the parts a request is made of, and a redirect's Location resolved
// against the URL it answered.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_URL_PARTS_H
#define TULORA_RUNTIME_LINUX_WINAPI_URL_PARTS_H

#include <string>
#include <string_view>

namespace tulora::net {

struct UrlParts {
  bool secure = false;  // https
  std::string host;     // as written, an IPv6 literal in brackets
  std::string port;     // as written; "" when the URL names none
  std::string target;   // path and query, "/" at least; no fragment
  // "host[:port]": the port only where it is not the scheme's own.
  std::string HostLine() const;
  // The port, the scheme's own when the URL names none.
  std::string Port() const;
};

// False when `url` is not an absolute http or https URL with a host.
bool SplitUrl(std::string_view url, UrlParts* out);

// The absolute URL that `location` (absolute, scheme-relative, or relative
// to `base`) names, dot segments resolved, the fragment and any user part
// ("user:password@") dropped; false when there is none. The scheme may be
// any: the caller decides.
bool ResolveLocation(std::string_view base, std::string_view location, std::string* out);

// `bytes` with every byte that cannot stand in a request target (controls,
// space, and bytes from 0x7F up) percent-encoded; "%" itself stays.
std::string EncodeTargetBytes(std::string_view bytes);

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_URL_PARTS_H
