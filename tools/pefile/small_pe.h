// A small PE32 console program for i386, built in memory, for the
// executable reader's tests and fuzz seeds.
#ifndef TULORA_TOOLS_PEFILE_SMALL_PE_H
#define TULORA_TOOLS_PEFILE_SMALL_PE_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "tools/pefile/pe_file.h"

namespace tulora::pefile {

inline void Put16(std::vector<uint8_t>& f, size_t at, uint16_t v) {
  f[at] = static_cast<uint8_t>(v);
  f[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t Get32(const std::vector<uint8_t>& f, size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | static_cast<uint32_t>(f[at + 3]) << 24;
}

inline constexpr size_t kLfanew = 0x80;
inline constexpr size_t kCoff = kLfanew + 4;
inline constexpr size_t kOpt = kCoff + 20;
inline constexpr uint16_t kOptSize = 224;  // PE32 with 16 data directories
inline constexpr size_t kSections = kOpt + kOptSize;

// A PE32 console program for i386 with `count` sections of 0x200 raw bytes
// each (file alignment 0x200, section alignment 0x1000), headers 0x400.
inline std::vector<uint8_t> SmallPe(int count, uint32_t headers = 0x400) {
  std::vector<uint8_t> f(headers + 0x200 * count, 0);
  f[0] = 'M';
  f[1] = 'Z';
  Put32(f, 0x3C, kLfanew);
  std::memcpy(&f[kLfanew], "PE\0\0", 4);
  Put16(f, kCoff, MACHINE_I386);
  Put16(f, kCoff + 2, static_cast<uint16_t>(count));
  Put32(f, kCoff + 4, 0x12345678);
  Put16(f, kCoff + 16, kOptSize);
  Put16(f, kOpt, MAGIC_PE32);
  Put32(f, kOpt + 32, 0x1000);
  Put32(f, kOpt + 36, 0x200);
  Put32(f, kOpt + 56, 0x1000 * (count + 1));
  Put32(f, kOpt + 60, headers);
  Put32(f, kOpt + 64, 0xABCD);
  Put16(f, kOpt + 68, SUBSYSTEM_CONSOLE);
  Put32(f, kOpt + 92, 16);
  const char* names[] = {".text", ".data", ".rsrc"};
  for (int i = 0; i < count; ++i) {
    const size_t h = kSections + 40 * i;
    std::strcpy(reinterpret_cast<char*>(&f[h]), names[i % 3]);
    Put32(f, h + 8, 0x180);
    Put32(f, h + 12, 0x1000 * (i + 1));
    Put32(f, h + 16, 0x200);
    Put32(f, h + 20, headers + 0x200 * i);
  }
  return f;
}

}  // namespace tulora::pefile

#endif  // TULORA_TOOLS_PEFILE_SMALL_PE_H
