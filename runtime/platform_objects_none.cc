// A build without the network back-end offers no object: creating one
// answers "no such object".
#include "runtime/platform_objects.h"

namespace tulora::rt {

void RegisterPlatformObjects() {}

}  // namespace tulora::rt
