// When a library cannot be loaded, every function fails the way the
// library itself reports an unusable state: the init functions give null,
// the rest CURLE_FAILED_INIT (or its multi and URL forms), the TLS ones
// null, 0 or nothing; a transfer then ends with the platform's internal
// error. Without the public suffix list's library no list loads, and every
// domain counts as a public suffix.
//
// A variadic option's one argument is forwarded in the slot the caller
// used: this file is built for 64-bit Linux only, where an int, a long and
// a pointer argument each take one 8-byte slot.
#define CURL_DISABLE_TYPECHECK 1
#include "runtime/linux_winapi/lazy_libraries.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <libpsl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <mutex>

namespace {

// One library, opened on first use by its run-time name. Bound lazily, as
// the system's own programs bind these libraries: each of the thirty
// binds a function at its first call instead of all of them at once,
// which cost the first transfer some 2.6 million instructions (about
// 1.4 ms).
struct LazyLibrary {
  using Opener = void* (*)(const char* soname);
  static void* Open(const char* soname) { return dlopen(soname, RTLD_LAZY | RTLD_LOCAL); }

  explicit LazyLibrary(const char* name, Opener how = Open) : soname(name), open(how) {}

  const char* soname;
  Opener open;
  std::once_flag once;
  std::atomic<void*> handle{nullptr};

  void* Get() {
    std::call_once(once, [this] { handle.store(open(soname)); });
    return handle.load();
  }
};

LazyLibrary g_ssl{TULORA_SSL_SONAME};  // the TLS library, with its crypto library

constexpr char kNoImplicitInit[] = "GNUTLS_NO_IMPLICIT_INIT";

// The transfer library brings, with the libraries of its directory and
// streaming protocols, a second TLS library that the stand-ins never use.
// That library initialises itself as it is loaded (random generator,
// system priorities, crypto back-ends: some 0.3 ms of the first transfer)
// unless GNUTLS_NO_IMPLICIT_INIT is 1, as its manual documents; the
// libraries that use it initialise it themselves first. The variable is
// set for the load only, and only where the environment has none, so the
// environment stays as it was given. Every transfer waits for this load,
// and the stand-ins read the environment only in transfers.
//
// The TLS library, which the stand-ins call too, is loaded before it: the
// loader then binds its many calls into the crypto library in their own
// small scope of libraries, not in the transfer library's thirty (some
// 0.14 ms less).
void* OpenTransferLibrary(const char* soname) {
  g_ssl.Get();
  const bool set = getenv(kNoImplicitInit) == nullptr && setenv(kNoImplicitInit, "1", 0) == 0;
  void* handle = LazyLibrary::Open(soname);
  if (set) unsetenv(kNoImplicitInit);
  return handle;
}

LazyLibrary g_curl{TULORA_CURL_SONAME, OpenTransferLibrary};
LazyLibrary g_psl{TULORA_PSL_SONAME};  // the public suffix list's, which the transfer library uses too

// The library's own function `name`, found once; null when it has none.
template <typename Function>
Function Find(LazyLibrary& library, const char* name) {
  void* handle = library.Get();
  return handle ? reinterpret_cast<Function>(dlsym(handle, name)) : nullptr;
}

#define TULORA_CURL_FUNCTION(name) static const auto real = Find<decltype(&::name)>(g_curl, #name)
#define TULORA_SSL_FUNCTION(name) static const auto real = Find<decltype(&::name)>(g_ssl, #name)
#define TULORA_PSL_FUNCTION(name) static const auto real = Find<decltype(&::name)>(g_psl, #name)

// A variadic option's one argument, as the option's number says it is
// passed: a long, a curl_off_t, or a pointer.
struct OptionValue {
  enum { kLong, kOffset, kPointer } kind;
  long number;
  curl_off_t offset;
  void* pointer;
};

OptionValue TakeOption(int option, va_list& args) {
  OptionValue v{OptionValue::kPointer, 0, 0, nullptr};
  if (option < CURLOPTTYPE_OBJECTPOINT) {
    v.kind = OptionValue::kLong;
    v.number = va_arg(args, long);
  } else if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB) {
    v.kind = OptionValue::kOffset;
    v.offset = va_arg(args, curl_off_t);
  } else {
    v.pointer = va_arg(args, void*);
  }
  return v;
}

template <typename Setter, typename Handle, typename Option>
auto SetOption(Setter set, Handle handle, Option option, const OptionValue& v) {
  switch (v.kind) {
    case OptionValue::kLong: return set(handle, option, v.number);
    case OptionValue::kOffset: return set(handle, option, v.offset);
    default: return set(handle, option, v.pointer);
  }
}

}  // namespace

bool tulora::net::CurlLibraryLoaded() {
  void* handle = dlopen(TULORA_CURL_SONAME, RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

// Hidden: a program that also links the libraries itself (the tests link
// the test site's TLS library) keeps the libraries' own calls inside them,
// instead of their being routed here, before the library is loaded.
#define HIDDEN __attribute__((visibility("hidden")))

extern "C" {

HIDDEN CURLcode curl_global_init(long flags) {
  TULORA_CURL_FUNCTION(curl_global_init);
  return real ? real(flags) : CURLE_FAILED_INIT;
}

HIDDEN CURL* curl_easy_init(void) {
  TULORA_CURL_FUNCTION(curl_easy_init);
  return real ? real() : nullptr;
}

HIDDEN void curl_easy_cleanup(CURL* curl) {
  TULORA_CURL_FUNCTION(curl_easy_cleanup);
  if (real) real(curl);
}

HIDDEN CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
  TULORA_CURL_FUNCTION(curl_easy_setopt);
  va_list args;
  va_start(args, option);
  const auto value = TakeOption(option, args);
  va_end(args);
  return real ? SetOption(real, curl, option, value) : CURLE_FAILED_INIT;
}

HIDDEN CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
  TULORA_CURL_FUNCTION(curl_easy_getinfo);
  va_list args;
  va_start(args, info);
  void* out = va_arg(args, void*);  // every information is written through a pointer
  va_end(args);
  return real ? real(curl, info, out) : CURLE_FAILED_INIT;
}

HIDDEN CURLcode curl_easy_pause(CURL* curl, int bitmask) {
  TULORA_CURL_FUNCTION(curl_easy_pause);
  return real ? real(curl, bitmask) : CURLE_FAILED_INIT;
}

HIDDEN struct curl_slist* curl_slist_append(struct curl_slist* list, const char* text) {
  TULORA_CURL_FUNCTION(curl_slist_append);
  return real ? real(list, text) : nullptr;
}

HIDDEN void curl_slist_free_all(struct curl_slist* list) {
  TULORA_CURL_FUNCTION(curl_slist_free_all);
  if (real) real(list);
}

HIDDEN CURLM* curl_multi_init(void) {
  TULORA_CURL_FUNCTION(curl_multi_init);
  return real ? real() : nullptr;
}

HIDDEN CURLMcode curl_multi_cleanup(CURLM* multi) {
  TULORA_CURL_FUNCTION(curl_multi_cleanup);
  return real ? real(multi) : CURLM_BAD_HANDLE;
}

HIDDEN CURLMcode curl_multi_add_handle(CURLM* multi, CURL* curl) {
  TULORA_CURL_FUNCTION(curl_multi_add_handle);
  return real ? real(multi, curl) : CURLM_BAD_HANDLE;
}

HIDDEN CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* curl) {
  TULORA_CURL_FUNCTION(curl_multi_remove_handle);
  return real ? real(multi, curl) : CURLM_BAD_HANDLE;
}

HIDDEN CURLMcode curl_multi_perform(CURLM* multi, int* running) {
  TULORA_CURL_FUNCTION(curl_multi_perform);
  return real ? real(multi, running) : CURLM_BAD_HANDLE;
}

HIDDEN CURLMcode curl_multi_poll(CURLM* multi, struct curl_waitfd extra[], unsigned int count,
                                 int timeoutMs, int* numfds) {
  TULORA_CURL_FUNCTION(curl_multi_poll);
  return real ? real(multi, extra, count, timeoutMs, numfds) : CURLM_BAD_HANDLE;
}

HIDDEN CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
  TULORA_CURL_FUNCTION(curl_multi_info_read);
  return real ? real(multi, left) : nullptr;
}

HIDDEN CURLU* curl_url(void) {
  TULORA_CURL_FUNCTION(curl_url);
  return real ? real() : nullptr;
}

HIDDEN void curl_url_cleanup(CURLU* url) {
  TULORA_CURL_FUNCTION(curl_url_cleanup);
  if (real) real(url);
}

HIDDEN CURLUcode curl_url_set(CURLU* url, CURLUPart part, const char* content, unsigned int flags) {
  TULORA_CURL_FUNCTION(curl_url_set);
  return real ? real(url, part, content, flags) : CURLUE_OUT_OF_MEMORY;
}

HIDDEN CURLUcode curl_url_get(CURLU* url, CURLUPart part, char** content, unsigned int flags) {
  TULORA_CURL_FUNCTION(curl_url_get);
  return real ? real(url, part, content, flags) : CURLUE_OUT_OF_MEMORY;
}

HIDDEN void curl_free(void* p) {
  TULORA_CURL_FUNCTION(curl_free);
  if (real) real(p);
}

HIDDEN time_t curl_getdate(const char* text, const time_t* unused) {
  TULORA_CURL_FUNCTION(curl_getdate);
  return real ? real(text, unused) : -1;
}

HIDDEN void curl_easy_reset(CURL* curl) {
  TULORA_CURL_FUNCTION(curl_easy_reset);
  if (real) real(curl);
}

HIDDEN CURLSH* curl_share_init(void) {
  TULORA_CURL_FUNCTION(curl_share_init);
  return real ? real() : nullptr;
}

HIDDEN CURLSHcode curl_share_cleanup(CURLSH* share) {
  TULORA_CURL_FUNCTION(curl_share_cleanup);
  return real ? real(share) : CURLSHE_INVALID;
}

// The data to share or not is an int, everything else a pointer.
HIDDEN CURLSHcode curl_share_setopt(CURLSH* share, CURLSHoption option, ...) {
  TULORA_CURL_FUNCTION(curl_share_setopt);
  va_list args;
  va_start(args, option);
  const bool data = option == CURLSHOPT_SHARE || option == CURLSHOPT_UNSHARE;
  const int which = data ? va_arg(args, int) : 0;
  void* pointer = data ? nullptr : va_arg(args, void*);
  va_end(args);
  if (!real) return CURLSHE_NOT_BUILT_IN;
  return data ? real(share, option, which) : real(share, option, pointer);
}

// ---- the TLS library -------------------------------------------------------

HIDDEN int CRYPTO_get_ex_new_index(int classIndex, long argl, void* argp,
                                   CRYPTO_EX_new* newFunction, CRYPTO_EX_dup* dupFunction,
                                   CRYPTO_EX_free* freeFunction) {
  TULORA_SSL_FUNCTION(CRYPTO_get_ex_new_index);
  return real ? real(classIndex, argl, argp, newFunction, dupFunction, freeFunction) : -1;
}

HIDDEN int OPENSSL_init_ssl(uint64_t options, const OPENSSL_INIT_SETTINGS* settings) {
  TULORA_SSL_FUNCTION(OPENSSL_init_ssl);
  return real ? real(options, settings) : 0;
}

HIDDEN int ERR_set_mark(void) {
  TULORA_SSL_FUNCTION(ERR_set_mark);
  return real ? real() : 0;
}

HIDDEN int ERR_pop_to_mark(void) {
  TULORA_SSL_FUNCTION(ERR_pop_to_mark);
  return real ? real() : 0;
}

HIDDEN X509_STORE* SSL_CTX_get_cert_store(const SSL_CTX* ctx) {
  TULORA_SSL_FUNCTION(SSL_CTX_get_cert_store);
  return real ? real(ctx) : nullptr;
}

HIDDEN void SSL_CTX_set1_cert_store(SSL_CTX* ctx, X509_STORE* store) {
  TULORA_SSL_FUNCTION(SSL_CTX_set1_cert_store);
  if (real) real(ctx, store);
}

HIDDEN void* SSL_CTX_get_ex_data(const SSL_CTX* ctx, int index) {
  TULORA_SSL_FUNCTION(SSL_CTX_get_ex_data);
  return real ? real(ctx, index) : nullptr;
}

HIDDEN int SSL_CTX_set_ex_data(SSL_CTX* ctx, int index, void* data) {
  TULORA_SSL_FUNCTION(SSL_CTX_set_ex_data);
  return real ? real(ctx, index, data) : 0;
}

HIDDEN int SSL_CTX_get_verify_mode(const SSL_CTX* ctx) {
  TULORA_SSL_FUNCTION(SSL_CTX_get_verify_mode);
  return real ? real(ctx) : 0;
}

HIDDEN void SSL_CTX_set_verify(SSL_CTX* ctx, int mode, SSL_verify_cb callback) {
  TULORA_SSL_FUNCTION(SSL_CTX_set_verify);
  if (real) real(ctx, mode, callback);
}

HIDDEN void SSL_CTX_set_info_callback(SSL_CTX* ctx, void (*callback)(const SSL*, int, int)) {
  TULORA_SSL_FUNCTION(SSL_CTX_set_info_callback);
  if (real) real(ctx, callback);
}

HIDDEN void SSL_CTX_set_cert_verify_callback(SSL_CTX* ctx, int (*callback)(X509_STORE_CTX*, void*),
                                             void* argument) {
  TULORA_SSL_FUNCTION(SSL_CTX_set_cert_verify_callback);
  if (real) real(ctx, callback, argument);
}

HIDDEN OSSL_HANDSHAKE_STATE SSL_get_state(const SSL* ssl) {
  TULORA_SSL_FUNCTION(SSL_get_state);
  return real ? real(ssl) : TLS_ST_BEFORE;
}

HIDDEN SSL_CTX* SSL_get_SSL_CTX(const SSL* ssl) {
  TULORA_SSL_FUNCTION(SSL_get_SSL_CTX);
  return real ? real(ssl) : nullptr;
}

HIDDEN int SSL_get_ex_data_X509_STORE_CTX_idx(void) {
  TULORA_SSL_FUNCTION(SSL_get_ex_data_X509_STORE_CTX_idx);
  return real ? real() : -1;
}

HIDDEN int X509_STORE_CTX_get_error(const X509_STORE_CTX* ctx) {
  TULORA_SSL_FUNCTION(X509_STORE_CTX_get_error);
  return real ? real(ctx) : X509_V_ERR_UNSPECIFIED;
}

HIDDEN void X509_STORE_CTX_set_error(X509_STORE_CTX* ctx, int error) {
  TULORA_SSL_FUNCTION(X509_STORE_CTX_set_error);
  if (real) real(ctx, error);
}

HIDDEN void* X509_STORE_CTX_get_ex_data(const X509_STORE_CTX* ctx, int index) {
  TULORA_SSL_FUNCTION(X509_STORE_CTX_get_ex_data);
  return real ? real(ctx, index) : nullptr;
}

HIDDEN int X509_verify_cert(X509_STORE_CTX* ctx) {
  TULORA_SSL_FUNCTION(X509_verify_cert);
  return real ? real(ctx) : 0;
}

HIDDEN X509_STORE* X509_STORE_new(void) {
  TULORA_SSL_FUNCTION(X509_STORE_new);
  return real ? real() : nullptr;
}

HIDDEN void X509_STORE_free(X509_STORE* store) {
  TULORA_SSL_FUNCTION(X509_STORE_free);
  if (real) real(store);
}

HIDDEN int X509_STORE_load_file(X509_STORE* store, const char* file) {
  TULORA_SSL_FUNCTION(X509_STORE_load_file);
  return real ? real(store, file) : 0;
}

HIDDEN int X509_STORE_load_path(X509_STORE* store, const char* path) {
  TULORA_SSL_FUNCTION(X509_STORE_load_path);
  return real ? real(store, path) : 0;
}

HIDDEN X509_VERIFY_PARAM* X509_STORE_get0_param(const X509_STORE* store) {
  TULORA_SSL_FUNCTION(X509_STORE_get0_param);
  return real ? real(store) : nullptr;
}

HIDDEN int X509_VERIFY_PARAM_set1(X509_VERIFY_PARAM* to, const X509_VERIFY_PARAM* from) {
  TULORA_SSL_FUNCTION(X509_VERIFY_PARAM_set1);
  return real ? real(to, from) : 0;
}

// ---- the public suffix list's library -------------------------------------

HIDDEN psl_ctx_t* psl_latest(const char* file) {
  TULORA_PSL_FUNCTION(psl_latest);
  return real ? real(file) : nullptr;
}

HIDDEN const psl_ctx_t* psl_builtin(void) {
  TULORA_PSL_FUNCTION(psl_builtin);
  return real ? real() : nullptr;
}

HIDDEN int psl_is_public_suffix2(const psl_ctx_t* psl, const char* domain, int type) {
  TULORA_PSL_FUNCTION(psl_is_public_suffix2);
  return real ? real(psl, domain, type) : 1;
}

}  // extern "C"
