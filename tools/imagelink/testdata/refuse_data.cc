// Refused: an initialised writable global.
#include "image/services.h"
int refusedCounter = 5;
extern "C" TULORA_CALL void TuloraEntry() { tulora_services.ExitProgram(++refusedCounter); }
