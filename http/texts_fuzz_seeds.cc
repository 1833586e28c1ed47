// Writes seed inputs for http_texts_fuzz into the folder given as argv[1]:
// texts of the forms the routines meet, parts separated by zero bytes.
#include <cstddef>
#include <cstdio>
#include <string>

// The literal's bytes, embedded zeros included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string seeds[] = {
      Bytes("<h1>A</h1><h1>B</h1>\0<h1>\0</h1>"),
      Bytes("<a href=\"x\">\0href=#\xD2\xFD\xBA\xC5\0#\xD2\xFD\xBA\xC5"),
      "https://Ab.CD:8443/a/b?x=1",
      "ab.cd/?u=http://other/x",
      Bytes("a=1; b=2\0b=3; c=4"),
      Bytes("sid=x; a=deleted\0a=deleted; a=2"),
      Bytes("accept-language: zh-cn\r\nConnection: keep-alive\0http://h/"),
      "\xB1\xEA\xCC\xE2\xA3\xBA\xB0\x41:x",
  };
  int n = 0;
  for (const std::string& seed : seeds) {
    std::string path = std::string(argv[1]) + "/seed" + std::to_string(n++);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 1;
    std::fwrite(seed.data(), 1, seed.size(), f);
    std::fclose(f);
  }
  return 0;
}
