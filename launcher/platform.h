// The operating-system layer under the start routine: one table of plain
// functions per platform (platform_posix.cc; the Windows table lives in its
// own file), so the start routine itself never changes between them and
// tests can hand it a table of their own.
#ifndef TULORA_LAUNCHER_PLATFORM_H
#define TULORA_LAUNCHER_PLATFORM_H

#include <cstddef>
#include <cstdint>

namespace tulora::launcher {

// Every path buffer of the launcher holds at most this many bytes, the NUL
// included.
inline constexpr size_t PATH_BUFFER_SIZE = 260;

struct PlatformOps {
  // The full path of the running executable; false when it does not fit or
  // cannot be found.
  bool (*modulePath)(char* buffer, size_t size);
  // Opens the executable for reading; a negative handle on failure. The
  // handle is never closed: it stays open until the process ends.
  intptr_t (*openForRead)(const char* path);
  // Moves the file position `distance` bytes from the end (distance <= 0);
  // the new position, or -1 when the move fails.
  int64_t (*seekFromEnd)(intptr_t file, int64_t distance);
  // Reads up to `size` bytes at the current position; the count read, or -1.
  int64_t (*read)(intptr_t file, void* buffer, size_t size);
  // A block of at least `size` bytes (contents undefined) for the payload
  // and the inflated file set; null when there is not enough memory.
  uint8_t* (*allocate)(size_t size);
  // Gives back a block from `allocate` with the size it was asked for.
  void (*release)(uint8_t* block, size_t size);
  // Writes the temporary directory, ending in the separator, into `buffer`
  // when it fits. Returns its length without the NUL (which may be >= size:
  // then nothing usable was written), or 0 when there is none.
  size_t (*tempPath)(char* buffer, size_t size);
  // Makes (or reuses) the extraction directory and checks that it is safe to
  // load libraries from; null when it is, else the message to show.
  const char* (*makeExtractionDirectory)(const char* path);
  // Creates or replaces the file with the given contents. Failures are not
  // reported: a file that cannot be written is skipped.
  void (*writeFile)(const char* path, const uint8_t* data, size_t size);
  // Loads a library by path; null on failure.
  void* (*loadLibrary)(const char* path);
  // An export of a loaded library; null when it has none of that name.
  void* (*findExport)(void* library, const char* name);
  // Shows the one error message of a failed start, captioned "Error".
  void (*showError)(const char* message);
  // The path separator appended after the extraction directory.
  char separator;
};

// The table of the platform this launcher was built for.
const PlatformOps& HostPlatform();

}  // namespace tulora::launcher

#endif  // TULORA_LAUNCHER_PLATFORM_H
