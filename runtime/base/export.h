// The one mark for what a runtime library exports: the kernel's GetNewSock
// and each support library's command entry. Everything else a library links
// in stays hidden (the libraries are built with hidden visibility).
#ifndef TULORA_RUNTIME_BASE_EXPORT_H
#define TULORA_RUNTIME_BASE_EXPORT_H

#if defined(_WIN32)
#define TULORA_EXPORT extern "C" __declspec(dllexport)
#else
#define TULORA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#endif  // TULORA_RUNTIME_BASE_EXPORT_H
