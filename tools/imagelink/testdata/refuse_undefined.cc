// Refused: a routine that no source defines.
#include "image/services.h"
extern "C" int RefusedMissingRoutine(int);
extern "C" TULORA_CALL void TuloraEntry() { tulora_services.ExitProgram(RefusedMissingRoutine(3)); }
