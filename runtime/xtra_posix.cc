// The support library of miscellaneous functions (xtra.vlr). Command 1
// pauses the calling thread: (int milliseconds) -> 0; 0 or less returns at
// once.
#include <errno.h>
#include <time.h>

#include "image/commands.h"
#include "runtime/argument_view.h"
#include "runtime/library_abi.h"

namespace {

void Pause(int32_t milliseconds) {
  if (milliseconds <= 0) return;
  timespec left{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) tulora::CommandResult TuloraLibraryCommand(
    const tulora::rt::LibraryHost*, uint32_t command, tulora::ArgumentList* args) {
  if (command == tulora::CMD_PAUSE) Pause(tulora::rt::ArgumentView(args).Int(0));
  return 0;
}
