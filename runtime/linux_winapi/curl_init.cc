#include "runtime/linux_winapi/curl_init.h"

#include <curl/curl.h>

#include <mutex>

namespace tulora::net {

void InitCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace tulora::net
