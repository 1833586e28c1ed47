// tulora-peassemble LAUNCHER IMAGE OUTPUT
// Writes OUTPUT: the Windows launcher LAUNCHER with the program image IMAGE
// appended as its last section (image/executable_layout.h). One of the
// launcher's sections must be named like the image's, and an i686
// launcher must have three, so that the image is the fourth. The payload
// is appended afterwards (tulora-pack), right after the image's raw data.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/executable_layout.h"
#include "tools/pefile/pe_file.h"

namespace {

using namespace tulora;

bool ReadFile(const char* path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

bool WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

// Null when the launcher can take the image as its last section.
const char* CheckLauncher(const pefile::PeFile& pe) {
  if (pe.machine == pefile::MACHINE_I386 && pe.sections.size() + 1 != I686_IMAGE_SECTION_NUMBER) {
    return "the i686 launcher does not have three sections";
  }
  for (const pefile::Section& s : pe.sections) {
    if (s.name == IMAGE_SECTION_NAME) return nullptr;
  }
  return "no section of the launcher is named .data";
}

int Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "tulora-peassemble: error: %s%s%s\n", what, detail.empty() ? "" : ": ",
               detail.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tulora-peassemble LAUNCHER IMAGE OUTPUT\n");
    return 2;
  }
  std::vector<uint8_t> launcher, image;
  if (!ReadFile(argv[1], launcher)) return Fail("cannot read", argv[1]);
  if (!ReadFile(argv[2], image)) return Fail("cannot read", argv[2]);
  pefile::PeFile pe;
  std::string error;
  if (!pefile::ReadPe(launcher, pe, error)) return Fail(argv[1], error);
  if (const char* problem = CheckLauncher(pe)) return Fail(argv[1], problem);
  if (!pefile::AppendSection(launcher, IMAGE_SECTION_NAME, IMAGE_SECTION_CHARACTERISTICS, image,
                             error)) {
    return Fail(argv[1], error);
  }
  if (!WriteFile(argv[3], launcher)) return Fail("cannot write", argv[3]);
  return 0;
}
