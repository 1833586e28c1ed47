#include "self_signed.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <fstream>

namespace tulora::testsite {

SelfSigned::~SelfSigned() {
  X509_free(cert_);
  EVP_PKEY_free(key_);
}

bool SelfSigned::AddExtensions() {
  struct Ext {
    int nid;
    const char* value;
  };
  const Ext exts[] = {
      {NID_basic_constraints, "critical,CA:TRUE"},
      {NID_key_usage, "critical,digitalSignature,keyCertSign"},
      {NID_ext_key_usage, "serverAuth"},
      {NID_subject_key_identifier, "hash"},
      // Lets a client that trusts several such certificates (all named
      // 127.0.0.1) pick the right one by key id.
      {NID_authority_key_identifier, "keyid:always"},
      // A client that matches host names against DNS names only (never
      // against IP entries) finds 127.0.0.1 among them as well.
      {NID_subject_alt_name, "IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost"},
  };
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert_, cert_, nullptr, nullptr, 0);
  for (const Ext& e : exts) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, e.nid, e.value);
    if (ext == nullptr) return false;
    int ok = X509_add_ext(cert_, ext, -1);
    X509_EXTENSION_free(ext);
    if (!ok) return false;
  }
  return true;
}

namespace {

// Whether both numbers of the certificate's ECDSA signature take all 32
// bytes of the P-256 order.
bool SignatureNumbersFull(const X509* cert) {
  const ASN1_BIT_STRING* signature = nullptr;
  X509_get0_signature(&signature, nullptr, cert);
  if (signature == nullptr) return false;
  const unsigned char* at = ASN1_STRING_get0_data(signature);
  ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &at, ASN1_STRING_length(signature));
  if (sig == nullptr) return false;
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  ECDSA_SIG_get0(sig, &r, &s);
  const bool full = BN_num_bytes(r) == 32 && BN_num_bytes(s) == 32;
  ECDSA_SIG_free(sig);
  return full;
}

}  // namespace

// The self-signature is made again until neither of its two numbers is
// shorter than 32 bytes. Wine's certificate functions join the two numbers
// as they are decoded, without padding them to the curve's size, and then
// reject a signature whose r or s begins with a zero byte (about one in 128
// certificates) as invalid: a wine prefix that trusts such a certificate
// still refuses every connection to the server that shows it. Each signing
// draws a fresh random nonce, so a few attempts always suffice.
bool SelfSigned::Sign() {
  for (int attempt = 0; attempt < 64; ++attempt) {
    if (X509_sign(cert_, key_, EVP_sha256()) <= 0) return false;
    if (SignatureNumbersFull(cert_)) return true;
  }
  return false;
}

bool SelfSigned::Make() {
  X509_free(cert_);
  EVP_PKEY_free(key_);
  cert_ = nullptr;
  key_ = EVP_EC_gen("P-256");
  if (key_ == nullptr) return false;
  cert_ = X509_new();
  if (cert_ == nullptr) return false;
  unsigned char serial[16];
  if (RAND_bytes(serial, sizeof serial) != 1) return false;
  serial[0] &= 0x7f;  // a positive serial number
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  bool ok = bn != nullptr && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert_)) != nullptr;
  BN_free(bn);
  ok = ok && X509_set_version(cert_, 2) &&
       X509_gmtime_adj(X509_getm_notBefore(cert_), -24L * 3600) != nullptr &&
       X509_gmtime_adj(X509_getm_notAfter(cert_), 30L * 24 * 3600) != nullptr;
  X509_NAME* name = X509_get_subject_name(cert_);
  ok = ok && X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                        reinterpret_cast<const unsigned char*>("Tulora test site"),
                                        -1, -1, 0);
  ok = ok &&
       X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                  reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  ok = ok && X509_set_issuer_name(cert_, name) && X509_set_pubkey(cert_, key_) && AddExtensions() &&
       Sign();
  return ok;
}

std::string SelfSigned::CertPem() const {
  std::string pem;
  BIO* bio = BIO_new(BIO_s_mem());
  if (bio == nullptr) return pem;
  if (cert_ != nullptr && PEM_write_bio_X509(bio, cert_)) {
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    if (size > 0) pem.assign(data, static_cast<size_t>(size));
  }
  BIO_free(bio);
  return pem;
}

bool SelfSigned::WriteCert(const std::string& path) const {
  std::string pem = CertPem();
  if (pem.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << pem;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace tulora::testsite
