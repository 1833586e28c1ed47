// The support library of miscellaneous functions (xtra.vlr). Command 1
// pauses the calling thread: (int milliseconds) -> 0; 0 or less returns at
// once.
//
// Test hook: when the environment holds TULORA_TEST_PAUSE_MS, every pause
// of a second or more lasts that many milliseconds instead, so that
// end-to-end tests of the crawl do not wait a second after every picture.
// Shorter pauses are the steps of waiting loops and keep their length: made
// zero they would turn such a loop into a busy one that takes a processor
// away from the crawl.
//
// Second test hook: when TULORA_TEST_PAUSE_LOG names a file, every pause
// of a second or more is recorded there as it begins (RecordPause), so that
// a test can tell which console line each pause followed without waiting
// for it. The program itself reads no environment; only this library does,
// and only for these two.
#include <stdlib.h>

#include "image/commands.h"
#include "runtime/base/argument_view.h"
#include "runtime/base/export.h"
#include "runtime/base/library_abi.h"
#include "runtime/libraries/pause.h"

namespace {

constexpr int32_t kHookedFromMs = 1000;

int32_t TestPause(int32_t milliseconds) {
  if (milliseconds < kHookedFromMs) return milliseconds;
  const char* fixed = getenv("TULORA_TEST_PAUSE_MS");
  if (fixed == nullptr || *fixed == 0) return milliseconds;
  return static_cast<int32_t>(strtol(fixed, nullptr, 10));
}

void Record(int32_t milliseconds) {
  const char* log = getenv("TULORA_TEST_PAUSE_LOG");
  if (milliseconds >= kHookedFromMs && log != nullptr && *log != 0) {
    tulora::rt::RecordPause(log, milliseconds);
  }
}

void Pause(int32_t milliseconds) {
  Record(milliseconds);
  milliseconds = TestPause(milliseconds);
  if (milliseconds > 0) tulora::rt::PauseThread(milliseconds);
}

}  // namespace

TULORA_EXPORT tulora::CommandResult TuloraLibraryCommand(const tulora::rt::LibraryHost*,
                                                         uint32_t command,
                                                         tulora::ArgumentList* args) {
  if (command == tulora::CMD_PAUSE) Pause(tulora::rt::ArgumentView(args).Int(0));
  return 0;
}
