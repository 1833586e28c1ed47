// Refused: a global that needs a constructor at start.
#include "image/services.h"
struct Started {
  Started();
  int value;
};
Started::Started()
    : value(static_cast<int>(reinterpret_cast<uintptr_t>(tulora_services.Allocate))) {}
Started refusedStarted;
extern "C" TULORA_CALL void TuloraEntry() { tulora_services.ExitProgram(refusedStarted.value); }
