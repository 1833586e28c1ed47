// The classes of objects the platform back-end offers by ProgID.
#ifndef TULORA_RUNTIME_PLATFORM_OBJECTS_H
#define TULORA_RUNTIME_PLATFORM_OBJECTS_H

namespace tulora::rt {

// Registers them with the object layer; calling it again does nothing.
void RegisterPlatformObjects();

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_PLATFORM_OBJECTS_H
