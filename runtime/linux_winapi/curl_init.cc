#include "runtime/linux_winapi/curl_init.h"

#include <curl/curl.h>
#include <openssl/ssl.h>

#include <mutex>

namespace tulora::net {

// The TLS library is started first, without its error texts: as it starts
// it puts some thousands of them in tables (about 0.2 ms of the first
// transfer), and nothing reads them. The stand-ins report the platform's
// error numbers, and the transfer library's own messages go nowhere. Its
// configuration file is read as the transfer library would have it read.
void InitCurl() {
  static std::once_flag once;
  std::call_once(once, [] {
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_CONFIG | OPENSSL_INIT_NO_LOAD_SSL_STRINGS |
                         OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS,
                     nullptr);
    curl_global_init(CURL_GLOBAL_DEFAULT);
  });
}

}  // namespace tulora::net
