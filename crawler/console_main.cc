// The main routine. For now it announces that the runtime has started the
// program; the console dialogue takes its place.
#include "crawler/entry.h"
#include "image/system_calls.h"

namespace tulora {

// "Tulora 运行库已启动\r\n" in GBK.
static const char kStarted[] = "Tulora \xD4\xCB\xD0\xD0\xBF\xE2\xD2\xD1\xC6\xF4\xB6\xAF\r\n";

int32_t ConsoleMain() {
  RtConsoleWrite(kStarted);
  return 0;
}

}  // namespace tulora
