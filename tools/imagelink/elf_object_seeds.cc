// Writes seed objects for the ELF reader's fuzz target into argv[1]: the
// test application and the refused objects the build compiles.
#include <cstdio>
#include <string>

#include "tools/imagelink/test_objects.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  int written = 0;
  for (const char* arch : {"x86_64", "i386"}) {
    for (const char* name : {"app_main", "refuse_data", "refuse_const_pointer", "refuse_undefined"}) {
      std::string file = std::string(name) + "-" + arch + ".o";
      std::vector<uint8_t> bytes = tulora::imagelink::ReadTestFile(file);
      if (bytes.empty()) continue;
      FILE* f = std::fopen((std::string(argv[1]) + "/" + file).c_str(), "wb");
      if (!f) return 1;
      written += std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
      std::fclose(f);
    }
  }
  return written > 0 ? 0 : 1;
}
