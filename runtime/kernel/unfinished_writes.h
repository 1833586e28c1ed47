// The temporary files of the file writes under way (file_commands.h), for
// both back-ends. Their lock is held while a temporary file is created and
// while it is renamed into place or removed, so the process end sees every
// temporary file that exists.
#ifndef TULORA_RUNTIME_KERNEL_UNFINISHED_WRITES_H
#define TULORA_RUNTIME_KERNEL_UNFINISHED_WRITES_H

#include <algorithm>
#include <mutex>
#include <vector>

namespace tulora::rt {

template <typename Path>
class UnfinishedWrites {
 public:
  // Runs create() under the lock and remembers `temporary` when it
  // succeeds. False when the process is ending or create() failed.
  template <typename Create>
  bool Begin(const Path& temporary, Create create) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ending_ || !create()) return false;
    paths_.push_back(temporary);
    return true;
  }

  // Runs finish() (the rename into place, or the removal) under the lock,
  // forgets `temporary` and gives finish()'s result.
  template <typename Finish>
  bool End(const Path& temporary, Finish finish) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool result = finish();
    paths_.erase(std::find(paths_.begin(), paths_.end(), temporary));
    return result;
  }

  // The process end: removes every temporary file with remove() and keeps
  // the lock until the process ends, so no write can create or rename a
  // file after it.
  template <typename Remove>
  void Abandon(Remove remove) {
    mutex_.lock();
    ending_ = true;
    for (const Path& path : paths_) remove(path);
    paths_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<Path> paths_;
  bool ending_ = false;
};

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_UNFINISHED_WRITES_H
