// Writes seed inputs for http_texts_fuzz into the folder given as argv[1]:
// texts of the forms the routines meet, parts separated by zero bytes.
#include <string>

#include "fuzz/seed_files.h"

using tulora::fuzz::Bytes;
using tulora::fuzz::WriteSeedFile;

int main(int argc, char** argv) {
  if (!tulora::fuzz::SeedFolderGiven(argc, argv)) return 2;
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
    if (!WriteSeedFile(argv[1], "seed" + std::to_string(n++), seed)) return 1;
  }
  return 0;
}
