// Starting a program image: read it, provide its DLL functions and support
// libraries, place it and call its entry routine.
#ifndef TULORA_RUNTIME_KERNEL_PROGRAM_START_H
#define TULORA_RUNTIME_KERNEL_PROGRAM_START_H

#include <stdint.h>

#include <span>
#include <string>

#include "image/image_format.h"
#include "runtime/kernel/image_loader.h"
#include "runtime/kernel/kernel_services.h"

namespace tulora::rt {

// Reads `bytes` and prepares the image: every declared DLL function must be
// one the runtime has; every LibraryTable row but the first (the kernel
// itself) is loaded from `libraryDirectory`. On success the image is
// placed and bound to the kernel's services; `loaded.entry` is the routine
// to call. On failure `error` names what is wrong.
bool PrepareProgram(std::span<const uint8_t> bytes, const std::string& libraryDirectory,
                    LoadedImage& loaded, std::string& error);

// The DllFunctionTable resolved against the runtime's functions.
bool ResolveDllTable(const image::ProgramImage& image, ProgramBindings& bindings,
                     std::string& error);

// Calls the entry routine of a prepared image. The entry ends the program
// through ExitProgram; should it return, so does this.
void RunEntryRoutine(const LoadedImage& loaded);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_PROGRAM_START_H
