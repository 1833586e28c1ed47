// Certificate checks of a transfer: one certificate store serves every TLS
// context of the process, the library's default bundle and folder (what it
// would load itself) plus the file SSL_CERT_FILE names. Loading the bundle
// into each new context cost tens of milliseconds a request. The store is
// built again only when SSL_CERT_FILE names another file or that file's
// bytes changed (read on every request: reading is cheap, parsing is not),
// so a file set or rewritten while the process runs is honoured at once.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_TRUST_STORE_H
#define TULORA_RUNTIME_LINUX_WINAPI_TRUST_STORE_H

#include <curl/curl.h>
#include <stdint.h>

namespace tulora::net {

// Has `curl` check the peer's certificate chain against the shared store,
// and its name unless `tls_ignore` (TlsIgnore bits) has TLS_IGNORE_COMMON_NAME;
// the problems `tls_ignore` names are let pass.
void SetTls(CURL* curl, uint32_t tls_ignore);

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_TRUST_STORE_H
