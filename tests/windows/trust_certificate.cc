// trust_certificate FILE: adds the certificate in FILE (PEM or DER) to the
// system's root store ("Root") of the user this program runs as, so that the
// system's TLS accepts a server that presents it. Run in the wine prefix
// whose programs must trust the local test servers.
//
// Exit code 0 when the certificate is in the store (added now or before);
// otherwise a message on standard error and 1.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The DER bytes of a PEM certificate; empty when it is none.
std::string DerFromPem(const std::string& pem) {
  if (pem.size() > MAXDWORD) return std::string();
  const DWORD length = static_cast<DWORD>(pem.size());
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                            nullptr) ||
      size == 0) {
    return std::string();
  }
  std::string der(size, '\0');
  if (!CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER,
                            reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr) ||
      size > der.size()) {
    return std::string();
  }
  der.resize(size);
  return der;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust_certificate FILE\n");
    return 1;
  }
  const std::string file = ReadAll(argv[1]);
  if (file.empty()) {
    std::fprintf(stderr, "trust_certificate: cannot read %s\n", argv[1]);
    return 1;
  }
  const bool pem = file.find("-----BEGIN CERTIFICATE-----") != std::string::npos;
  const std::string der = pem ? DerFromPem(file) : file;
  if (der.empty() || der.size() > MAXDWORD) {
    std::fprintf(stderr, "trust_certificate: no certificate in %s\n", argv[1]);
    return 1;
  }
  if (!CertAddEncodedCertificateToSystemStoreA("Root", reinterpret_cast<const BYTE*>(der.data()),
                                               static_cast<DWORD>(der.size()))) {
    std::fprintf(stderr, "trust_certificate: not added to the root store (error %lu)\n",
                 GetLastError());
    return 1;
  }
  std::printf("trust_certificate: %s added to the root store\n", argv[1]);
  return 0;
}
