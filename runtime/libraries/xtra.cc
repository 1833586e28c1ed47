// The support library of miscellaneous functions (xtra.vlr). Command 1
// pauses the calling thread: (int milliseconds) -> 0; 0 or less returns at
// once.
//
// The pause itself is TakePause (take_pause.h).
#include "image/commands.h"
#include "runtime/base/argument_view.h"
#include "runtime/base/export.h"
#include "runtime/base/library_abi.h"
#include "runtime/libraries/take_pause.h"

TULORA_EXPORT tulora::CommandResult TuloraLibraryCommand(const tulora::rt::LibraryHost*,
                                                         uint32_t command,
                                                         tulora::ArgumentList* args) {
  if (command == tulora::CMD_PAUSE) tulora::rt::TakePause(tulora::rt::ArgumentView(args).Int(0));
  return 0;
}
