// Writes seed objects for the ELF reader's fuzz target into argv[1]: the
// test application and the refused objects the build compiles.
#include <string>

#include "fuzz/seed_files.h"
#include "tools/imagelink/test_objects.h"

int main(int argc, char** argv) {
  if (!tulora::fuzz::SeedFolderGiven(argc, argv)) return 2;
  int written = 0;
  for (const char* arch : {"x86_64", "i386"}) {
    for (const char* name :
         {"app_main", "refuse_data", "refuse_const_pointer", "refuse_undefined"}) {
      std::string file = std::string(name) + "-" + arch + ".o";
      std::vector<uint8_t> bytes = tulora::imagelink::ReadTestFile(file);
      if (bytes.empty()) continue;
      written += tulora::fuzz::WriteSeedFile(argv[1], file, bytes);
    }
  }
  return written > 0 ? 0 : 1;
}
