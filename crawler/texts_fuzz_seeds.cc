// Writes seed inputs for crawler_texts_fuzz into the folder given as
// argv[1]: a page body, a zero byte, a response header block.
#include <string>

#include "fuzz/seed_files.h"

using tulora::fuzz::Bytes;
using tulora::fuzz::WriteSeedFile;

int main(int argc, char** argv) {
  if (!tulora::fuzz::SeedFolderGiven(argc, argv)) return 2;
  const std::string seeds[] = {
      // A page with a Chinese title (UTF-8) and a whole picture answer.
      Bytes("<html><h1>\xE6\x98\xA5\xE6\x97\xA5 7284</h1></html>\0"
            "HTTP/1.1 200 OK\r\nContent-Length: 45\r\nSet-Cookie: a=1; path=/"),
      // Hostile titles: forbidden bytes, device names, trailing dots.
      Bytes("<H1>a/b\\c:d?*|\"<>.. </H1>\0HTTP/1.0 404\r\n"),
      Bytes("<h1>con.txt</h1>\0HTTP/1.1 200\r\ncontent-length: 0010\r\n"),
      Bytes("<h1>LPT9</h1>\0HTTP/1.1 0200 OK\r\nContent-Length: 4294967296"),
      // Invalid UTF-8: lone continuation, over-long form, surrogate, cut
      // sequence, bytes that are GBK lead bytes.
      Bytes("<h1>\x80\xC0\xAF\xED\xA0\x80\xE6\x98</h1>\0HTTP/1.1 200 OK\r\n"
            "Content-Length: abc\r\nSet-Cookie: \r\nSet-Cookie: b=Set-Cookie:2"),
      Bytes("\xB4\xBA\xC8\xD5\xB4\0set-cookie: x=1\r\nSet-Cookie : y=2\r\nSet-Cookie: z"),
      // A title longer than a folder name may be.
      "<h1>" + std::string(130, 'x') + "\xE6\x98\xA5 </h1>",
  };
  int n = 0;
  for (const std::string& seed : seeds) {
    if (!WriteSeedFile(argv[1], "seed" + std::to_string(n++), seed)) return 1;
  }
  return 0;
}
