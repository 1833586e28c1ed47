// The text and number commands come from the text command unit, with result
// blocks from the kernel's own heap so that Release frees them.
#include "runtime/kernel/text_dispatch.h"

#include "runtime/kernel/kernel_services.h"
#include "runtime/text/text_commands.h"

namespace tulora::rt {
namespace {

const TextCommandAllocator kAllocator = {AllocateBlock, ReleaseBlock};

}  // namespace

bool DispatchTextCommand(uint32_t command, ArgumentList* args, CommandResult* result) {
  return RunTextCommand(command, args, result, kAllocator);
}

}  // namespace tulora::rt
