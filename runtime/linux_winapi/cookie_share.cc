#include "runtime/linux_winapi/cookie_share.h"

#include <mutex>

#include "runtime/linux_winapi/curl_init.h"

namespace tulora::net {
namespace {

// The share handle with one lock per kind of shared data.
struct CookieStore {
  CURLSH* share = nullptr;
  std::mutex locks[CURL_LOCK_DATA_LAST];
};

CookieStore& Cookies() {
  static CookieStore* store = [] {
    InitCurl();
    auto* s = new CookieStore;
    s->share = curl_share_init();
    curl_share_setopt(s->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(
        s->share, CURLSHOPT_LOCKFUNC, +[](CURL*, curl_lock_data data, curl_lock_access, void* p) {
          static_cast<CookieStore*>(p)->locks[data].lock();
        });
    curl_share_setopt(
        s->share, CURLSHOPT_UNLOCKFUNC, +[](CURL*, curl_lock_data data, void* p) {
          static_cast<CookieStore*>(p)->locks[data].unlock();
        });
    curl_share_setopt(s->share, CURLSHOPT_USERDATA, s);
    return s;
  }();
  return *store;
}

}  // namespace

CURLSH* CookieShare() { return Cookies().share; }

void ClearCookieStore() {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return;
  curl_easy_setopt(curl, CURLOPT_SHARE, Cookies().share);
  curl_easy_setopt(curl, CURLOPT_COOKIELIST, "ALL");
  curl_easy_cleanup(curl);
}

}  // namespace tulora::net
