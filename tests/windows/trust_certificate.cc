// trust_certificate FILE: adds the certificates in FILE (one DER
// certificate, or any number of PEM ones, as the demo site writes one per
// server) to the system's root store ("Root") of the user this program runs
// as, so that the system's TLS accepts a server that presents one. Run in
// the wine prefix whose programs must trust the local test servers.
//
// Exit code 0 when every certificate is in the store (added now or before);
// otherwise a message on standard error and 1.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The DER bytes of the first PEM certificate in `pem`; empty when none.
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

// The DER certificates of the file: each PEM block, or the file itself.
std::vector<std::string> Certificates(const std::string& file) {
  static const char kBegin[] = "-----BEGIN CERTIFICATE-----";
  static const char kEnd[] = "-----END CERTIFICATE-----";
  std::vector<std::string> found;
  size_t at = file.find(kBegin);
  if (at == std::string::npos) return {file};
  while (at != std::string::npos) {
    const size_t end = file.find(kEnd, at);
    if (end == std::string::npos) return {};  // a block cut short: no certificate file
    const size_t next = end + sizeof kEnd - 1;
    found.push_back(DerFromPem(file.substr(at, next - at)));
    at = file.find(kBegin, next);
  }
  return found;
}

bool AddToRoot(const std::string& der) {
  return !der.empty() && der.size() <= MAXDWORD &&
         CertAddEncodedCertificateToSystemStoreA("Root", reinterpret_cast<const BYTE*>(der.data()),
                                                 static_cast<DWORD>(der.size()));
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
  const std::vector<std::string> certificates = Certificates(file);
  if (certificates.empty()) {
    std::fprintf(stderr, "trust_certificate: no certificate in %s\n", argv[1]);
    return 1;
  }
  for (size_t i = 0; i < certificates.size(); ++i) {
    if (!AddToRoot(certificates[i])) {
      std::fprintf(stderr, "trust_certificate: certificate %zu of %s not added (error %lu)\n",
                   i + 1, argv[1], GetLastError());
      return 1;
    }
  }
  std::printf("trust_certificate: %zu certificate(s) of %s added to the root store\n",
              certificates.size(), argv[1]);
  return 0;
}
