// The kernel library's exports. The launcher calls GetNewSock(1000) and then
// the entry it returns with the address of the program image.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/interface_constants.h"
#include "runtime/base/export.h"
#include "runtime/kernel/platform.h"
#include "runtime/kernel/process_end.h"
#include "runtime/kernel/program_start.h"
#include "runtime/memory/heap.h"

// The C++ run-time library is linked into the kernel library. Its default
// handler for an exception nobody catches writes the exception's type name,
// and with it comes the library's symbol demangler: 47 KiB that every start
// would read, check and copy with the payload. The runtime catches no
// exception, so one that escapes ends the process here as it would there,
// only without that line.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

// The launcher hands over only an address; the image is read no further
// than the readable memory there, and never beyond this.
constexpr size_t kMaxImageBytes = 64u << 20;

int RuntimeEntry(const void* programImage) {
  using namespace tulora::rt;
  KeepOneHeapForAllThreads();
  std::string error = "no program image was handed over";
  size_t extent = programImage ? ReadableBytesAt(programImage, kMaxImageBytes) : 0;
  if (extent != 0) {
    std::span<const uint8_t> bytes(static_cast<const uint8_t*>(programImage), extent);
    std::string directory = DirectoryOf(reinterpret_cast<const void*>(&RuntimeEntry));
    LoadedImage loaded;
    if (PrepareProgram(bytes, directory, loaded, error)) {
      CleanUpAtOutsideEnds();
      RunEntryRoutine(loaded);
      return 0;
    }
  }
  std::fprintf(stderr, "Error: %s\n", error.c_str());
  std::fflush(stderr);
  return 0;
}

}  // namespace

// Other interface versions are not served: null tells the launcher so.
TULORA_EXPORT tulora::RuntimeEntry GetNewSock(int32_t version) {
  if (version != tulora::KERNEL_INTERFACE_VERSION) return nullptr;
  return &RuntimeEntry;
}
