#include "tests/support/scratch_directory.h"

#include <stdlib.h>

#include <system_error>
#include <vector>

namespace tulora::process {

ScratchDirectory::ScratchDirectory(const std::string& prefix) {
  const std::string pattern = "/tmp/" + prefix + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) != nullptr) path_ = name.data();
}

ScratchDirectory::~ScratchDirectory() {
  if (!made()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tulora::process
