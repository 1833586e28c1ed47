// Writes seed inputs for the inflate fuzz target into the folder argv[1]:
// the declared size in two bytes, then a zlib stream of each kind of block.
#include <zlib.h>

#include <string>
#include <vector>

#include "fuzz/seed_files.h"

using Bytes = std::vector<uint8_t>;

static void WriteSeed(const std::string& dir, const char* name, const Bytes& data, int level,
                      int strategy) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) return;
  Bytes out(2 + deflateBound(&z, data.size()));
  out[0] = static_cast<uint8_t>(data.size());
  out[1] = static_cast<uint8_t>(data.size() >> 8);
  z.next_in = const_cast<Bytes::value_type*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data() + 2;
  z.avail_out = static_cast<uInt>(out.size() - 2);
  deflate(&z, Z_FINISH);
  out.resize(2 + z.total_out);
  deflateEnd(&z);
  tulora::fuzz::WriteSeedFile(dir, name, out);
}

int main(int argc, char** argv) {
  if (!tulora::fuzz::SeedFolderGiven(argc, argv)) return 2;
  Bytes text;
  for (int i = 0; i < 3000; ++i) text.push_back(static_cast<uint8_t>("ostra runtime "[i % 14] + i / 700));
  WriteSeed(argv[1], "stored", text, 0, Z_DEFAULT_STRATEGY);
  WriteSeed(argv[1], "fixed", text, 9, Z_FIXED);
  WriteSeed(argv[1], "dynamic", text, 9, Z_DEFAULT_STRATEGY);
  WriteSeed(argv[1], "runs", text, 6, Z_RLE);
  WriteSeed(argv[1], "empty", {}, 9, Z_DEFAULT_STRATEGY);
  return 0;
}
