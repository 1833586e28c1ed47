// The interface between the kernel library and its companion support
// libraries (VThread.vlr, xtra.vlr).
//
// Each support library is a shared library that exports one entry point,
// `TuloraLibraryCommand`. The kernel loads it from its own directory when the
// program image's LibraryTable names it and routes CallLibraryCommand to it,
// handing over a LibraryHost with what the library may use of the kernel.
#ifndef TULORA_RUNTIME_BASE_LIBRARY_ABI_H
#define TULORA_RUNTIME_BASE_LIBRARY_ABI_H

#include <stdint.h>

#include "image/services.h"

namespace tulora::rt {

// What the kernel offers a support library. Passed with every command; the
// pointer stays valid for the life of the process.
struct LibraryHost {
  uint32_t size;                 // sizeof(LibraryHost), for later growth
  const ServiceTable* services;  // the program's service table
  // A thread of the application begins / has ended. The kernel uses the
  // count to decide at program end whether the program's globals may still
  // be in use (see ExitProgram).
  void (*ThreadBegins)(void);
  void (*ThreadEnds)(void);
};

// The exported entry point of a support library: runs `command` with the
// argument list and returns its result. Unknown commands return 0.
typedef CommandResult (*LibraryCommandEntry)(const LibraryHost* host, uint32_t command,
                                             ArgumentList* args);

inline constexpr char LIBRARY_ENTRY_NAME[] = "TuloraLibraryCommand";
// Support libraries are files named after their LibraryTable row plus this.
inline constexpr char LIBRARY_FILE_SUFFIX[] = ".vlr";

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_BASE_LIBRARY_ABI_H
