// Certificate checks of a transfer: one certificate store serves every TLS
// context of the process, the library's default bundle and folder (what it
// would load itself) plus the file SSL_CERT_FILE names. Loading the bundle
// into each new context cost tens of milliseconds a request. The store is
// built again only when SSL_CERT_FILE names another file or that file's
// bytes changed (read on every request: reading is cheap, parsing is not),
// so a file set or rewritten while the process runs is honoured at once.
//
// TLS sessions are kept per process, as the platform's TLS keeps its
// client session cache: a later connection to the same host and port
// resumes the session of an earlier one, whichever request, session or
// request object made it, and skips the certificate exchange. A session
// is only resumed by a request with the same certificate checks (the same
// problems let pass) against the same store: one made while a problem was
// let pass, or before the trusted certificates changed, never carries a
// request past checks it would fail.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_TRUST_STORE_H
#define TULORA_RUNTIME_LINUX_WINAPI_TRUST_STORE_H

#include <curl/curl.h>
#include <stdint.h>

#include <memory>

namespace tulora::net {

// What a handle set up by SetTls uses: the store and the session cache. The
// hold must outlive the handle and the multi handle its connections stay
// with.
struct TrustState;
using TrustHold = std::shared_ptr<TrustState>;

// Has `curl` check the peer's certificate chain against the shared store,
// and its name unless `tls_ignore` (TlsIgnore bits) has TLS_IGNORE_COMMON_NAME;
// the problems `tls_ignore` names are let pass. Sessions are resumed from
// and kept in the cache of those checks (none where the library could not
// make one: the handle then resumes nothing).
TrustHold SetTls(CURL* curl, uint32_t tls_ignore);

}  // namespace tulora::net

#endif  // TULORA_RUNTIME_LINUX_WINAPI_TRUST_STORE_H
