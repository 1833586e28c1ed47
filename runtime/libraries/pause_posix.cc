#include "runtime/libraries/pause.h"

#include <errno.h>
#include <time.h>

namespace tulora::rt {

void PauseThread(int32_t milliseconds) {
  timespec left{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace tulora::rt
