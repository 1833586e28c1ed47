#include "runtime/kernel/kernel_commands.h"

#include <cstdio>
#include <cstring>

#include "image/commands.h"
#include "runtime/base/argument_view.h"
#include "runtime/kernel/console_commands.h"
#include "runtime/kernel/file_commands.h"
#include "runtime/kernel/kernel_services.h"
#include "runtime/kernel/object_layer.h"
#include "runtime/kernel/text_dispatch.h"

namespace tulora::rt {
namespace {

// (text) -> 0.
CommandResult ConsoleWrite(const ArgumentView& args) {
  WriteConsoleText(args.Text(0));
  return 0;
}

// ([byref bool atEnd]) -> text.
CommandResult ConsoleReadLine(const ArgumentView& args) {
  bool atEnd = false;
  std::string line = ReadConsoleLine(&atEnd);
  if (void* flag = args.Variable(0)) {
    int32_t value = atEnd ? 1 : 0;
    std::memcpy(flag, &value, sizeof value);
  }
  return NewTextResult(line);
}

// (text path, bytes) -> bool: the whole file through one stream.
CommandResult WriteFile(const ArgumentView& args) {
  uint32_t length;
  const uint8_t* data = args.Bytes(1, &length);
  const int32_t stream = OpenFileStream(args.Text(0));
  if (stream == 0) return 0;
  const bool written = AppendToFileStream(stream, data, length);
  return FinishFileStream(stream, written) ? 1 : 0;
}

// (int stream, bytes) -> bool.
CommandResult AppendToStream(const ArgumentView& args) {
  uint32_t length;
  const uint8_t* data = args.Bytes(1, &length);
  return AppendToFileStream(args.Int(0), data, length) ? 1 : 0;
}

bool RunSystemCommand(uint32_t command, const ArgumentView& args, CommandResult* result) {
  switch (command) {
    case CMD_CONSOLE_WRITE: *result = ConsoleWrite(args); return true;
    case CMD_CONSOLE_READ_LINE: *result = ConsoleReadLine(args); return true;
    case CMD_RUNNING_DIRECTORY: *result = NewTextResult(RunningDirectory()); return true;
    case CMD_CREATE_DIRECTORY: *result = CreateDirectoryAt(args.Text(0)) ? 1 : 0; return true;
    case CMD_WRITE_FILE: *result = WriteFile(args); return true;
    case CMD_FILE_STREAM_OPEN:
      *result = static_cast<uint32_t>(OpenFileStream(args.Text(0)));
      return true;
    case CMD_FILE_STREAM_APPEND: *result = AppendToStream(args); return true;
    case CMD_FILE_STREAM_FINISH:
      *result = FinishFileStream(args.Int(0), args.Bool(1)) ? 1 : 0;
      return true;
    case CMD_CONSOLE_FLUSH:
      std::fflush(nullptr);
      *result = 0;
      return true;
    default: return false;
  }
}

bool IsObjectCommand(uint32_t command) {
  return command >= CMD_OBJECT_CREATE && command <= CMD_OBJECT_RELEASE;
}

}  // namespace

CommandResult NewTextResult(const std::string& text) {
  char* block = static_cast<char*>(AllocateBlock(static_cast<uint32_t>(text.size() + 1)));
  std::memcpy(block, text.c_str(), text.size() + 1);
  return reinterpret_cast<uintptr_t>(block);
}

CommandResult RunKernelCommand(uint32_t command, ArgumentList* list) {
  ArgumentView args(list);
  CommandResult result = 0;
  if (RunSystemCommand(command, args, &result)) return result;
  if (IsObjectCommand(command)) return RunObjectCommand(command, list);
  if (DispatchTextCommand(command, list, &result)) return result;
  EndWithError("the kernel library has no command %u", command);
}

}  // namespace tulora::rt
