// Public suffixes ("com", "co.uk", "github.io"): names under which anyone
// may register a domain, so that no cookie may be set for one. The list is
// Debian's (package publicsuffix), read through the library the transfer
// library uses for the same question (libpsl), once per process at the
// first question; the library's built-in list stands in when that file
// cannot be read.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_PUBLIC_SUFFIX_H
#define TULORA_RUNTIME_LINUX_WINAPI_PUBLIC_SUFFIX_H

#include <string>

namespace tulora::net {

// True when `domain` (lower case, no leading dot) is a public suffix; also
// when no list can be had at all, so that a cookie then stays with its own
// host.
bool IsPublicSuffix(const std::string& domain);

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_PUBLIC_SUFFIX_H
