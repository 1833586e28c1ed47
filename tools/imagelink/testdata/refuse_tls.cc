// Refused: thread-local data.
#include "image/services.h"
thread_local int refusedPerThread;
extern "C" TULORA_CALL void TuloraEntry() { tulora_services.ExitProgram(++refusedPerThread); }
