// tulora-run-image: runs a program image on the kernel library of this
// build, as the launcher hands it over, with this process's console.
//
//   tulora-run-image RUNTIME_DIR IMAGE
//
// RUNTIME_DIR holds ostra.vlr and the support libraries. The program ends
// the process itself with its own exit code; 90 and up are this runner's.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/interface_constants.h"
#include "tests/support/test_platform.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s RUNTIME_DIR IMAGE\n", argv[0]);
    return 90;
  }
  std::ifstream in(argv[2], std::ios::binary);
  std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (image.empty()) {
    std::fprintf(stderr, "tulora-run-image: no image at %s\n", argv[2]);
    return 91;
  }
  std::string error;
  void* kernel =
      tulora::test_platform::LoadLibraryFile(std::string(argv[1]) + "/ostra.vlr", &error);
  if (kernel == nullptr) {
    std::fprintf(stderr, "tulora-run-image: %s\n", error.c_str());
    return 92;
  }
  auto getNewSock = reinterpret_cast<tulora::GetNewSockFunction>(
      tulora::test_platform::LibrarySymbol(kernel, "GetNewSock"));
  tulora::RuntimeEntry entry =
      getNewSock != nullptr ? getNewSock(tulora::KERNEL_INTERFACE_VERSION) : nullptr;
  if (entry == nullptr) {
    std::fprintf(stderr, "tulora-run-image: the kernel gives no runtime entry\n");
    return 93;
  }
  entry(image.data());
  return 94;  // the program ends the process itself; the entry came back
}
