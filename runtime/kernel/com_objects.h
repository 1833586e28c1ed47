// The system's own objects by ProgID for the object layer, where the
// platform has them: on Windows the COM classes, driven through their
// dispatch interface (com_objects_win32.cc). Linux has no such objects; its
// request object is a stand-in class of its own (runtime/linux_winapi).
//
// The calling thread's COM initialisation is the application's: it calls
// CoInitialize through its declared DLL functions before it creates an
// object, on every thread that does. Without it, creation fails as the
// system's CoCreateInstance does (CO_E_NOTINITIALIZED) and the object
// command answers false.
#ifndef TULORA_RUNTIME_KERNEL_COM_OBJECTS_H
#define TULORA_RUNTIME_KERNEL_COM_OBJECTS_H

namespace tulora::rt {

// Registers the object layer's classes of the system objects the program
// uses (the request object); calling it again does nothing.
void RegisterSystemObjectClasses();

// A new object of the system's class of `progId` (ASCII), or null when the
// ProgID names none or the object cannot be made. Released by
// ReleaseSystemObject.
void* CreateSystemObject(const char* progId);
void ReleaseSystemObject(void* object);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_COM_OBJECTS_H
