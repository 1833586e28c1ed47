// The hosted application on the real kernel, for the tests that run the
// application's routines against the kernel's services, its commands, the
// support libraries and the platform's DLL functions: defines
// tulora_services (declared extern "C" in image/services.h) for them.
#ifndef TULORA_TESTS_SUPPORT_KERNEL_HOST_H
#define TULORA_TESTS_SUPPORT_KERNEL_HOST_H

#include <string>

namespace tulora::test {

// tulora_services becomes the kernel's service table, with the DLL entries
// and library rows that hosted code names by their plain numbers turned
// into the kernel's selectors (as loading an image does). The program's
// bindings are the functions of image/dll_table.def and the support
// libraries VThread and xtra from `runtimeDirectory`; the platform's object
// classes are registered. False with `error` when something is missing.
bool BindHostedApplicationToKernel(const std::string& runtimeDirectory, std::string* error);

}  // namespace tulora::test

#endif  // TULORA_TESTS_SUPPORT_KERNEL_HOST_H
