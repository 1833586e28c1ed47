// Writes seed inputs for the payload fuzz target into the folder argv[1]:
// valid payloads (with and without a directory name) and broken ones.
#include <string>
#include <vector>

#include "fuzz/seed_files.h"
#include "launcher/payload.h"
#include "launcher/test_streams.h"

using namespace tulora::launcher;
using Bytes = std::vector<uint8_t>;

using tulora::fuzz::WriteSeedFile;

int main(int argc, char** argv) {
  if (!tulora::fuzz::SeedFolderGiven(argc, argv)) return 2;
  const std::string dir = argv[1];
  const std::vector<PayloadFile> files = {
      {"ostra.vlr", Bytes(200, 0x7F)}, {"VThread.vlr", Bytes{1, 2, 3}}, {"xtra.vlr", {}}};
  WriteSeedFile(dir, "valid-nameless", BuildPayload(files, {0x2F, 0xA1B2C3D4, ""}));
  WriteSeedFile(dir, "valid-named", BuildPayload(files, {0, 0x01020304, "runtime"}));
  WriteSeedFile(dir, "no-kernel", BuildPayload({{"a", Bytes{1}}}, {5, 0, ""}));
  WriteSeedFile(dir, "bad-magic", BuildRawPayload({1, 7, ""}, FILESET_MAGIC ^ 1, 10, Bytes(12, 1)));
  Bytes bad = BuildPayload(files, {1, 0, ""});
  bad[bad.size() - 12] ^= 0xFF;  // last byte of the zlib stream (Adler-32)
  WriteSeedFile(dir, "bad-adler", bad);
  WriteSeedFile(dir, "parent-directory", BuildPayload(files, {0, 0x01020304, ".."}));
  // Streams declaring 286 length codes (inflates) and 287 (fails).
  for (const uint32_t hlit : {29u, 30u}) {
    WriteSeedFile(
        dir, "hlit-" + std::to_string(hlit),
        BuildRawPayload({2, 0x0BADF00D, ""}, FILESET_MAGIC, 64, test::OneLiteralStream(hlit)));
  }
  return 0;
}
