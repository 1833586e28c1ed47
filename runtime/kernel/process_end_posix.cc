#include "runtime/kernel/process_end.h"

#include <unistd.h>

namespace tulora::rt {

void EndProcessAtOnce(int code) { _exit(code); }

}  // namespace tulora::rt
