// Refused: a const table of addresses (relocations inside const data).
#include "image/services.h"
extern "C" {
extern const char* const refusedNames[2];
const char* const refusedNames[2] = {"first", "second"};
}
extern "C" TULORA_CALL void TuloraEntry() {
  tulora_services.Release(const_cast<char*>(refusedNames[tulora_services.FinishMain ? 1 : 0]));
}
