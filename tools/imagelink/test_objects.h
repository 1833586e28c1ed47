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

// The DLL function table testdata/app_main.cc declares, row for row: an
// empty DLL name, names differing only in case, and one function twice.
struct DllRow {
  const char* dll;
  const char* function;
};
inline constexpr DllRow kAppMainDllTable[] = {
    {"ole32", "CoInitialize"},          {"Ole32", "CoUninitialize"},
    {"", "MultiByteToWideChar"},        {"kernel32.dll", "WideCharToMultiByte"},
    {"wininet.dll", "InternetOpenA"},   {"wininet", "InternetCloseHandle"},
    {"wininet.dll", "InternetConnectA"}, {"wininet.dll", "HttpOpenRequestA"},
    {"wininet.dll", "HttpSendRequestA"}, {"wininet.dll", "HttpSendRequestA"},
    {"wininet.dll", "InternetReadFile"}, {"wininet.dll", "HttpQueryInfoA"}};

}  // namespace tulora::imagelink

#endif  // TULORA_TOOLS_IMAGELINK_TEST_OBJECTS_H
