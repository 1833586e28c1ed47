// A self-signed certificate for 127.0.0.1 and localhost, made at start.
#ifndef TULORA_TESTSITE_SELF_SIGNED_H
#define TULORA_TESTSITE_SELF_SIGNED_H

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

namespace tulora::testsite {

// Owns an EC P-256 key and its self-signed certificate: subject CN
// "127.0.0.1", subjectAltName IP 127.0.0.1, DNS 127.0.0.1 and DNS localhost
// (for clients that match host names against DNS names alone), valid from a
// day ago for 30 days, marked as a CA so that it can be trusted directly,
// its signature's two numbers each of the curve's full 32 bytes.
class SelfSigned {
 public:
  SelfSigned() = default;
  ~SelfSigned();
  SelfSigned(const SelfSigned&) = delete;
  SelfSigned& operator=(const SelfSigned&) = delete;

  // Makes a fresh key and certificate; false when OpenSSL fails.
  bool Make();
  X509* cert() const { return cert_; }
  EVP_PKEY* key() const { return key_; }
  std::string CertPem() const;
  // Writes the certificate in PEM to `path`; false on failure.
  bool WriteCert(const std::string& path) const;

 private:
  bool AddExtensions();
  bool Sign();
  X509* cert_ = nullptr;
  EVP_PKEY* key_ = nullptr;
};

}  // namespace tulora::testsite

#endif  // TULORA_TESTSITE_SELF_SIGNED_H
