#include "runtime/linux_winapi/trust_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <map>
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

bool IsHashedName(const char* name) {
  return strlen(name) == 10 && name[8] == '.' && name[9] >= '0' && name[9] <= '9' &&
         strspn(name, "0123456789abcdef") == 8;
}

// True when `folder` has a name of the form <8 hex digits>.<digit>. The
// names are read a few dozen at a time: in the system's folder the hashed
// names come among the first, and listing all of its hundreds of names at
// once cost a process about 0.2 ms.
bool HoldsHashedNames(const std::string& folder) {
  const int fd = folder.empty() ? -1 : open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  alignas(dirent64) char names[2048];
  bool found = false;
  ssize_t got = 0;
  while (!found && (got = getdents64(fd, names, sizeof names)) > 0) {
    for (ssize_t at = 0; at < got && !found;) {
      const auto* entry = reinterpret_cast<const dirent64*>(names + at);
      found = IsHashedName(entry->d_name);
      at += entry->d_reclen;
    }
  }
  close(fd);
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

// Puts the library's default certificates and the extra file in `store`.
void FillStore(X509_STORE* store, const ExtraTrust& extra) {
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
}

}  // namespace

// One set of trusted certificates, and the TLS sessions verified against
// it: a cache for each set of problems let pass. Transfers hold the state
// they started with; a new one replaces it for later transfers when the
// extra file changes, and the old one goes with its last transfer.
//
// Contexts get the store at once, empty; its certificates are read when
// the first handshake has sent its greeting and waits for the server's
// answer, as the library does with its own certificates. Parsing even one
// certificate costs the first in a process some 0.4 to 0.6 ms (the
// decoders' first use), which otherwise came before the first handshake's
// first byte. Whatever the order of events, the store is filled before any
// chain is checked against it.
struct TrustState {
  explicit TrustState(ExtraTrust e) : extra(std::move(e)) {}
  ~TrustState();
  TrustState(const TrustState&) = delete;
  TrustState& operator=(const TrustState&) = delete;

  // What a TLS context is set up with: the state and the problems let pass.
  struct Checks {
    TrustState* state = nullptr;
    uint32_t tls_ignore = 0;
    CURLSH* sessions = nullptr;
    std::recursive_mutex locks[CURL_LOCK_DATA_LAST];
  };

  Checks& ChecksFor(uint32_t tls_ignore);
  // The store, made at the first call with the verification settings the
  // library gave `model`; null when none could be made.
  X509_STORE* Store(X509_STORE* model);
  // Fills the store, the first time only.
  void Fill();

  const ExtraTrust extra;
  std::mutex mutex;
  X509_STORE* store = nullptr;
  bool filled = false;
  std::map<uint32_t, Checks> checks;
};

namespace {

void LockSessions(CURL*, curl_lock_data data, curl_lock_access, void* checks) {
  static_cast<TrustState::Checks*>(checks)->locks[data].lock();
}

void UnlockSessions(CURL*, curl_lock_data data, void* checks) {
  static_cast<TrustState::Checks*>(checks)->locks[data].unlock();
}

// A cache of TLS sessions that any thread's handle may use.
CURLSH* NewSessionCache(TrustState::Checks* checks) {
  CURLSH* share = curl_share_init();
  if (share == nullptr) return nullptr;
  if (curl_share_setopt(share, CURLSHOPT_LOCKFUNC, LockSessions) != CURLSHE_OK ||
      curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, UnlockSessions) != CURLSHE_OK ||
      curl_share_setopt(share, CURLSHOPT_USERDATA, checks) != CURLSHE_OK ||
      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK) {
    curl_share_cleanup(share);
    return nullptr;
  }
  return share;
}

}  // namespace

TrustState::~TrustState() {
  for (auto& [flags, c] : checks) {
    if (c.sessions != nullptr) curl_share_cleanup(c.sessions);
  }
  X509_STORE_free(store);  // contexts still using it hold their own reference
}

X509_STORE* TrustState::Store(X509_STORE* model) {
  std::lock_guard<std::mutex> lock(mutex);
  if (store == nullptr && (store = X509_STORE_new()) != nullptr) {
    X509_VERIFY_PARAM_set1(X509_STORE_get0_param(store), X509_STORE_get0_param(model));
  }
  return store;
}

void TrustState::Fill() {
  std::lock_guard<std::mutex> lock(mutex);
  if (filled || store == nullptr) return;
  FillStore(store, extra);
  filled = true;
}

TrustState::Checks& TrustState::ChecksFor(uint32_t tls_ignore) {
  std::lock_guard<std::mutex> lock(mutex);
  auto [it, added] = checks.try_emplace(tls_ignore);
  Checks& c = it->second;
  if (added) {
    c.state = this;
    c.tls_ignore = tls_ignore;
    c.sessions = NewSessionCache(&c);
  }
  return c;
}

namespace {

// The state later transfers start with: the current one, or a new one
// when the extra file is not what it was built with.
TrustHold CurrentTrust() {
  static std::mutex mutex;
  static auto* current = new TrustHold;
  ExtraTrust extra = ReadExtraTrust(getenv("SSL_CERT_FILE"));
  std::lock_guard<std::mutex> lock(mutex);
  if (*current == nullptr || !((*current)->extra == extra)) {
    *current = std::make_shared<TrustState>(std::move(extra));
  }
  return *current;
}

int ChecksIndex() {
  static int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

const TrustState::Checks* ChecksOf(const SSL* ssl) {
  return static_cast<const TrustState::Checks*>(
      SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), ChecksIndex()));
}

bool Ignored(int error, uint32_t flags) {
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
  const TrustState::Checks* checks = ssl ? ChecksOf(ssl) : nullptr;
  if (checks == nullptr || !Ignored(X509_STORE_CTX_get_error(store), checks->tls_ignore)) return 0;
  X509_STORE_CTX_set_error(store, X509_V_OK);
  return 1;
}

// The greeting is out: the store is filled while the server answers.
void FillAfterGreeting(const SSL* ssl, int where, int) {
  if ((where & SSL_CB_CONNECT_LOOP) == 0 || SSL_get_state(ssl) != TLS_ST_CW_CLNT_HELLO) return;
  if (const TrustState::Checks* checks = ChecksOf(ssl)) checks->state->Fill();
}

// The server's chain is checked against a filled store in any case.
int CheckChain(X509_STORE_CTX* store, void* checks) {
  static_cast<TrustState::Checks*>(checks)->state->Fill();
  return X509_verify_cert(store);
}

// Gives `ctx` the store of the transfer's state, with the verification
// settings the library gave the first context.
CURLcode SetUpTls(CURL*, void* ssl_ctx, void* data) {
  auto* ctx = static_cast<SSL_CTX*>(ssl_ctx);
  auto* checks = static_cast<TrustState::Checks*>(data);
  X509_STORE* store = checks->state->Store(SSL_CTX_get_cert_store(ctx));
  if (store == nullptr) return CURLE_OUT_OF_MEMORY;
  SSL_CTX_set1_cert_store(ctx, store);
  SSL_CTX_set_ex_data(ctx, ChecksIndex(), checks);
  SSL_CTX_set_verify(ctx, SSL_CTX_get_verify_mode(ctx), VerifyCallback);
  SSL_CTX_set_info_callback(ctx, FillAfterGreeting);
  SSL_CTX_set_cert_verify_callback(ctx, CheckChain, checks);
  return CURLE_OK;
}

}  // namespace

TrustHold SetTls(CURL* curl, uint32_t tls_ignore) {
  // Only these bits count, so that a state holds at most 16 caches
  // whatever flags a caller passes.
  tls_ignore &= TLS_IGNORE_UNKNOWN_CA | TLS_IGNORE_WRONG_USAGE | TLS_IGNORE_COMMON_NAME |
                TLS_IGNORE_DATE;
  TrustHold trust = CurrentTrust();
  TrustState::Checks& checks = trust->ChecksFor(tls_ignore);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, (tls_ignore & TLS_IGNORE_COMMON_NAME) ? 0L : 2L);
  curl_easy_setopt(curl, CURLOPT_PROXY_SSL_VERIFYPEER, 1L);
  // The library loads no certificates of its own: the TLS set-up hands
  // every context the shared store.
  curl_easy_setopt(curl, CURLOPT_CAINFO, nullptr);
  curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
  curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, SetUpTls);
  curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &checks);
  curl_easy_setopt(curl, CURLOPT_SHARE, checks.sessions);
  return trust;
}

}  // namespace tulora::net
