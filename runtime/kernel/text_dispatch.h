// The kernel's hand-over of text and number commands to the text command
// unit. False when the command is none of them.
#ifndef TULORA_RUNTIME_KERNEL_TEXT_DISPATCH_H
#define TULORA_RUNTIME_KERNEL_TEXT_DISPATCH_H

#include <stdint.h>

#include "image/services.h"

namespace tulora::rt {

bool DispatchTextCommand(uint32_t command, ArgumentList* args, CommandResult* result);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_TEXT_DISPATCH_H
