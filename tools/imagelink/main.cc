// tulora-imagelink OBJECT IMAGE
// Links the relocatable object of the application (`ld -r` output, ELF64
// x86-64 or ELF32 i386) into a program image.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "tools/imagelink/image_linker.h"

namespace {

bool ReadFile(const char* path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "tulora-imagelink: error: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tulora;
  if (argc != 3) {
    std::fprintf(stderr, "usage: tulora-imagelink OBJECT IMAGE\n");
    return 2;
  }
  std::vector<uint8_t> input;
  if (!ReadFile(argv[1], input)) return Fail(std::string("cannot read ") + argv[1]);
  imagelink::ElfObject object;
  image::ProgramImage image;
  std::string error;
  if (!imagelink::ReadElfObject(input, object, error))
    return Fail(std::string(argv[1]) + ": " + error);
  if (!imagelink::LinkImage(object, image, error)) return Fail(std::string(argv[1]) + ": " + error);
  std::vector<uint8_t> bytes = image::WriteImage(image);
  // The image must read back; a failure here is a fault of the linker.
  image::ProgramImage check;
  if (!image::ReadImage(bytes, check, error))
    return Fail("written image does not read back: " + error);
  if (!WriteFile(argv[2], bytes)) {
    std::remove(argv[2]);
    return Fail(std::string("cannot write ") + argv[2]);
  }
  return 0;
}
