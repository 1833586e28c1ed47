// The transfer library, the TLS library and the public suffix list's
// library are loaded when a transfer first needs them, not when the kernel library is loaded: they bring some
// thirty libraries of their own, whose loading and relocation would
// otherwise come before the program's first console line at every start.
// lazy_libraries.cc defines the functions of each that the stand-ins call
// (the names and types of their own headers), each forwarding to the
// library's function, found on first use.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_LAZY_LIBRARIES_H
#define TULORA_RUNTIME_LINUX_WINAPI_LAZY_LIBRARIES_H

namespace tulora::net {

// True when the transfer library is in the process (after the first
// transfer, or wherever something else brought it in). Loads nothing.
bool CurlLibraryLoaded();

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_LAZY_LIBRARIES_H
