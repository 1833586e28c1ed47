// The pause of the library users run: exactly the time asked. It reads no
// environment, file or setting: nothing outside the program can shorten
// the pause that spares the gallery site.
#include "runtime/libraries/take_pause.h"

#include "runtime/libraries/pause.h"

namespace tulora::rt {

void TakePause(int32_t milliseconds) {
  if (milliseconds > 0) PauseThread(milliseconds);
}

}  // namespace tulora::rt
