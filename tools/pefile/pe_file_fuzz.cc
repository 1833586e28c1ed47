// Fuzzes the executable reader and the section writer with any bytes: they
// must refuse or succeed without reading or writing out of bounds, and a
// section that was appended must read back as the last one.
#include <cstdlib>
#include <vector>

#include "tools/pefile/pe_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tulora::pefile;
  std::vector<uint8_t> file(data, data + size);
  PeFile pe;
  std::string error;
  if (!ReadPe(file, pe, error)) return 0;
  for (const Section& s : pe.sections) SectionBytes(file, s);
  const uint8_t contents[] = {1, 2, 3};
  if (!AppendSection(file, ".data", 0xE0000040, contents, error)) return 0;
  PeFile after;
  if (!ReadPe(file, after, error) || after.sections.size() != pe.sections.size() + 1 ||
      after.sections.back().name != ".data" || after.RawDataEnd() != file.size()) {
    std::abort();
  }
  return 0;
}
