// The request object "WinHttp.WinHttpRequest.5.1" for the kernel's object
// layer, over the request class of winhttp.h.
#ifndef TULORA_RUNTIME_LINUX_WINAPI_REQUEST_OBJECT_H
#define TULORA_RUNTIME_LINUX_WINAPI_REQUEST_OBJECT_H

namespace tulora::rt {

// Registers the object's class with the object layer; calling it again
// does nothing.
void RegisterRequestObjectClass();

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_LINUX_WINAPI_REQUEST_OBJECT_H
