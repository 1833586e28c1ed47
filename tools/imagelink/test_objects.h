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

}  // namespace tulora::imagelink

#endif  // TULORA_TOOLS_IMAGELINK_TEST_OBJECTS_H
