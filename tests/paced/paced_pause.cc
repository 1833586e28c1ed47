// The pause of the paced test program's xtra.vlr, which only the tests
// build and load (the end-to-end tests of the crawl and its benchmark). A
// pause of a second or more, the crawl's own:
// - is recorded as it begins in the file "pauses" of the current directory
//   (RecordPause), so that a test can tell which console line each pause
//   followed without waiting for it;
// - lasts the milliseconds written in the file "pace" of the current
//   directory, or the time asked when there is no such file.
// Shorter pauses are the steps of waiting loops and keep their length: made
// zero they would turn such a loop into a busy one that takes a processor
// away from the crawl.
#include <stdio.h>

#include "runtime/libraries/pause.h"
#include "runtime/libraries/take_pause.h"
#include "tests/paced/pause_log.h"

namespace tulora::rt {
namespace {

constexpr int32_t kCrawlPauseMs = 1000;
constexpr char kLogFile[] = "pauses";
constexpr char kPaceFile[] = "pace";

// The milliseconds of the pace file, or `asked` without one.
int32_t Pace(int32_t asked) {
  FILE* file = fopen(kPaceFile, "rb");
  if (file == nullptr) return asked;
  int pace = asked;
  if (fscanf(file, "%d", &pace) != 1) pace = asked;
  fclose(file);
  return pace;
}

}  // namespace

void TakePause(int32_t milliseconds) {
  if (milliseconds >= kCrawlPauseMs) {
    paced::RecordPause(kLogFile, milliseconds);
    milliseconds = Pace(milliseconds);
  }
  if (milliseconds > 0) PauseThread(milliseconds);
}

}  // namespace tulora::rt
