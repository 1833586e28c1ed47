// A kernel library for the launcher's tests under wine: it exports
// GetNewSock, which serves no interface version at all.
#include "image/interface_constants.h"
#include "runtime/base/export.h"

TULORA_EXPORT tulora::RuntimeEntry GetNewSock(int32_t) { return nullptr; }
