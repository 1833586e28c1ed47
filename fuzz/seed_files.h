// What the programs that write a fuzz target's seed inputs share: bytes
// from a literal with its zero bytes, and the file written into the
// corpus folder. Each program takes that folder as argv[1].
#ifndef TULORA_FUZZ_SEED_FILES_H
#define TULORA_FUZZ_SEED_FILES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tulora::fuzz {

// The literal's bytes, embedded zeros included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// Writes `bytes` to dir/name; false when the file was not written whole.
inline bool WriteSeedFile(const std::string& dir, const std::string& name, std::string_view bytes) {
  std::FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
  if (f == nullptr) return false;
  bool whole = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && whole;
}

inline bool WriteSeedFile(const std::string& dir, const std::string& name,
                          const std::vector<uint8_t>& bytes) {
  return WriteSeedFile(dir, name,
                       std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The usage line and false unless there is exactly one argument, the folder.
inline bool SeedFolderGiven(int argc, char** argv) {
  if (argc == 2) return true;
  std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
  return false;
}

}  // namespace tulora::fuzz

#endif  // TULORA_FUZZ_SEED_FILES_H
