#include "runtime/linux_winapi/trust_store.h"

#include <dirent.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <string>
#include <utility>

#include "runtime/linux_winapi/curl_transfer.h"

namespace tulora::net {
namespace {

constexpr size_t kMaxTrustFile = 64u << 20;  // beyond this, later bytes are not compared

struct ExtraTrust {
  std::string path, bytes;
  bool operator==(const ExtraTrust& o) const { return path == o.path && bytes == o.bytes; }
};

ExtraTrust ReadExtraTrust(const char* path) {
  ExtraTrust extra;
  if (path == nullptr || *path == '\0') return extra;
  extra.path = path;
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return extra;
  char chunk[16384];
  size_t got = 0;
  while (extra.bytes.size() < kMaxTrustFile && (got = fread(chunk, 1, sizeof chunk, file)) > 0) {
    extra.bytes.append(chunk, got);
  }
  fclose(file);
  return extra;
}

// Where the transfer library looks for trusted certificates by default.
// Where the folder holds the certificates under their subject hashes (as
// the system's certificate tools keep it, the same certificates as the
// bundle file), it is searched for an issuer when one is needed and the
// bundle is not read: parsing every certificate of the bundle cost a
// process some 25 ms before its first request.
struct CaDefaults {
  std::string file, folder;
  bool folder_hashed = false;
};

// True when `folder` has a name of the form <8 hex digits>.<digit>.
bool HoldsHashedNames(const std::string& folder) {
  DIR* dir = folder.empty() ? nullptr : opendir(folder.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (!found) {
    const dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    const char* name = entry->d_name;
    found = strlen(name) == 10 && name[8] == '.' && name[9] >= '0' && name[9] <= '9' &&
            strspn(name, "0123456789abcdef") == 8;
  }
  closedir(dir);
  return found;
}

const CaDefaults& LibraryCaDefaults() {
  static const CaDefaults* defaults = [] {
    auto* d = new CaDefaults;
    if (CURL* curl = curl_easy_init()) {
      char* text = nullptr;
      if (curl_easy_getinfo(curl, CURLINFO_CAINFO, &text) == CURLE_OK && text) d->file = text;
      text = nullptr;
      if (curl_easy_getinfo(curl, CURLINFO_CAPATH, &text) == CURLE_OK && text) d->folder = text;
      curl_easy_cleanup(curl);
    }
    d->folder_hashed = HoldsHashedNames(d->folder);
    return d;
  }();
  return *defaults;
}

struct SharedTrust {
  std::mutex mutex;
  X509_STORE* store = nullptr;
  ExtraTrust extra;
};

SharedTrust& Trust() {
  static SharedTrust* trust = new SharedTrust;
  return *trust;
}

// A new store with the verification settings the library gave `model`.
X509_STORE* BuildStore(X509_STORE* model, const ExtraTrust& extra) {
  X509_STORE* store = X509_STORE_new();
  if (store == nullptr) return nullptr;
  X509_VERIFY_PARAM_set1(X509_STORE_get0_param(store), X509_STORE_get0_param(model));
  const CaDefaults& defaults = LibraryCaDefaults();
  // A file that is missing or unreadable adds nothing; its errors must not
  // reach the transfer's own error report.
  ERR_set_mark();
  if (!defaults.file.empty() && !defaults.folder_hashed) {
    X509_STORE_load_file(store, defaults.file.c_str());
  }
  if (!defaults.folder.empty()) X509_STORE_load_path(store, defaults.folder.c_str());
  if (!extra.path.empty()) X509_STORE_load_file(store, extra.path.c_str());
  ERR_pop_to_mark();
  return store;
}

// Gives `ctx` the shared store; false when none could be built.
bool UseSharedStore(SSL_CTX* ctx) {
  SharedTrust& trust = Trust();
  ExtraTrust extra = ReadExtraTrust(getenv("SSL_CERT_FILE"));
  std::lock_guard<std::mutex> lock(trust.mutex);
  if (trust.store == nullptr || !(trust.extra == extra)) {
    X509_STORE* store = BuildStore(SSL_CTX_get_cert_store(ctx), extra);
    if (store == nullptr) return false;
    X509_STORE_free(trust.store);  // contexts still using it hold their own reference
    trust.store = store;
    trust.extra = std::move(extra);
  }
  SSL_CTX_set1_cert_store(ctx, trust.store);
  return true;
}

int TlsFlagsIndex() {
  static int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

bool Ignored(int error, uintptr_t flags) {
  switch (error) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED: return (flags & TLS_IGNORE_UNKNOWN_CA) != 0;
    case X509_V_ERR_INVALID_PURPOSE: return (flags & TLS_IGNORE_WRONG_USAGE) != 0;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID: return (flags & TLS_IGNORE_DATE) != 0;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return (flags & TLS_IGNORE_COMMON_NAME) != 0;
    default: return false;
  }
}

int VerifyCallback(int ok, X509_STORE_CTX* store) {
  if (ok) return 1;
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  if (ssl == nullptr) return 0;
  auto flags =
      reinterpret_cast<uintptr_t>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), TlsFlagsIndex()));
  if (!Ignored(X509_STORE_CTX_get_error(store), flags)) return 0;
  X509_STORE_CTX_set_error(store, X509_V_OK);
  return 1;
}

CURLcode SetUpTls(CURL*, void* ssl_ctx, void* flags) {
  auto* ctx = static_cast<SSL_CTX*>(ssl_ctx);
  if (!UseSharedStore(ctx)) return CURLE_OUT_OF_MEMORY;
  SSL_CTX_set_ex_data(ctx, TlsFlagsIndex(), flags);
  SSL_CTX_set_verify(ctx, SSL_CTX_get_verify_mode(ctx), VerifyCallback);
  return CURLE_OK;
}

}  // namespace

void SetTls(CURL* curl, uint32_t tls_ignore) {
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, (tls_ignore & TLS_IGNORE_COMMON_NAME) ? 0L : 2L);
  curl_easy_setopt(curl, CURLOPT_PROXY_SSL_VERIFYPEER, 1L);
  // The library loads no certificates of its own: the TLS set-up hands
  // every context the shared store.
  curl_easy_setopt(curl, CURLOPT_CAINFO, nullptr);
  curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
  curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, SetUpTls);
  curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, reinterpret_cast<void*>(uintptr_t{tls_ignore}));
}

}  // namespace tulora::net
