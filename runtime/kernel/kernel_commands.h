// The kernel library's commands (image/commands.h): the console, files and
// directories, objects, and -- through the text command unit -- texts and
// numbers.
#ifndef TULORA_RUNTIME_KERNEL_KERNEL_COMMANDS_H
#define TULORA_RUNTIME_KERNEL_KERNEL_COMMANDS_H

#include <stdint.h>

#include <string>

#include "image/services.h"

namespace tulora::rt {

// Runs a kernel command. An unknown command number ends the program: the
// image asks for something this runtime does not have.
CommandResult RunKernelCommand(uint32_t command, ArgumentList* args);

// A new text block (from Allocate) holding `text`.
CommandResult NewTextResult(const std::string& text);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_KERNEL_COMMANDS_H
