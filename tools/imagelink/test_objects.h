// Test helpers: the objects and images the build compiles from testdata/.
#ifndef TULORA_TOOLS_IMAGELINK_TEST_OBJECTS_H
#define TULORA_TOOLS_IMAGELINK_TEST_OBJECTS_H

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tulora::imagelink {

inline std::vector<uint8_t> ReadTestFile(const std::string& name) {
  std::ifstream in(std::string(IMAGELINK_TESTDATA_DIR) + "/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The DLL function table the test application declares: the program's own,
// row for row (an empty DLL name, names differing only in case, one
// function twice).
struct DllRow {
  const char* dll;
  const char* function;
};
inline constexpr DllRow kAppMainDllTable[] = {
#define TULORA_DLL_ROW(id, entry, dll, function) {dll, function},
#include "image/dll_table.def"
};

}  // namespace tulora::imagelink

#endif  // TULORA_TOOLS_IMAGELINK_TEST_OBJECTS_H
