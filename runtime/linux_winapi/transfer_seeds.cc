// Writes seed inputs for the transfer fuzz target into the folder argv[1]:
// read-size choice and filler KiB (two bytes each), then a response.
#include <string>

#include "fuzz/seed_files.h"

static void Seed(const std::string& dir, const char* name, unsigned reads, unsigned filler_kib,
                 const std::string& response) {
  std::string bytes;
  bytes += static_cast<char>(reads & 0xFF);
  bytes += static_cast<char>(reads >> 8);
  bytes += static_cast<char>(filler_kib & 0xFF);
  bytes += static_cast<char>(filler_kib >> 8);
  bytes += response;
  tulora::fuzz::WriteSeedFile(dir, name, bytes);
}

int main(int argc, char** argv) {
  if (!tulora::fuzz::SeedFolderGiven(argc, argv)) return 2;
  const std::string dir = argv[1];
  Seed(dir, "length", 0, 0, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
  Seed(dir, "chunked", 1, 0,
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
       "5\r\nhello\r\n3;ext=1\r\nabc\r\n0\r\nX-Trailer: t\r\n\r\n");
  Seed(dir, "until-close", 2, 1500, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
  Seed(dir, "cut-short", 3, 600, "HTTP/1.1 200 OK\r\nContent-Length: 900000\r\n\r\n");
  Seed(dir, "long-exact", 4, 1000, "HTTP/1.1 200 OK\r\nContent-Length: 1024000\r\n\r\n");
  Seed(dir, "interim", 5, 0,
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok");
  Seed(dir, "redirect", 6, 0,
       "HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 4\r\n\r\nmove");
  Seed(dir, "redirect-elsewhere", 10, 0,
       "HTTP/1.1 307 Temporary Redirect\r\nLocation: //other.test:81/a/../b?c#d\r\n"
       "Set-Cookie: s=1; Domain=other.test; Path=/a; Expires=Thu, 01 Jan 2099 00:00:00 GMT\r\n"
       "Content-Length: 0\r\n\r\n");
  Seed(dir, "no-content", 7, 0, "HTTP/1.1 204 No Content\r\nSet-Cookie: a=1\r\n\r\n");
  Seed(dir, "http10", 8, 3, "HTTP/1.0 200 OK\r\n\r\n");
  Seed(dir, "garbage", 9, 0, "NOT HTTP AT ALL\r\n\r\n");
  return 0;
}
