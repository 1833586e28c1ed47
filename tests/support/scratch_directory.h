// A new private directory for one test (mode 0700, under /tmp), removed with
// everything in it when the object goes.
#ifndef TULORA_TESTS_SUPPORT_SCRATCH_DIRECTORY_H
#define TULORA_TESTS_SUPPORT_SCRATCH_DIRECTORY_H

#include <filesystem>
#include <string>

namespace tulora::process {

class ScratchDirectory {
 public:
  // /tmp/<prefix>XXXXXX with the X replaced to make a new name; `prefix`
  // is a name start, not a path.
  explicit ScratchDirectory(const std::string& prefix);
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool made() const { return !path_.empty(); }
  // Empty when the directory could not be made.
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tulora::process

#endif  // TULORA_TESTS_SUPPORT_SCRATCH_DIRECTORY_H
