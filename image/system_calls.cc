// Thin wrappers: one argument list on the stack, one runtime call.
#include "image/system_calls.h"

#include "image/arguments.h"
#include "image/commands.h"
#include "image/link_symbols.h"

namespace tulora {
namespace {

template <uint32_t N>
bool KernelTruth(uint32_t command, ArgumentBuffer<N>& args) {
  return ResultInt(CallKernel(command, args)) != 0;
}

}  // namespace

void RtConsoleWrite(const char* text) {
  auto args = MakeArguments(ArgText(text));
  CallKernel(CMD_CONSOLE_WRITE, args);
}

char* RtConsoleReadLine(bool* atEnd) {
  int32_t ended = 0;
  auto args = MakeArguments(atEnd != nullptr ? ArgByRefBool(&ended) : ArgOmitted());
  char* line = static_cast<char*>(ResultPointer(CallKernel(CMD_CONSOLE_READ_LINE, args)));
  if (atEnd != nullptr) *atEnd = ended != 0;
  return line;
}

char* RtRunningDirectory() {
  return static_cast<char*>(
      ResultPointer(tulora_services.CallKernelCommand(CMD_RUNNING_DIRECTORY, nullptr)));
}

bool RtCreateDirectory(const char* path) {
  auto args = MakeArguments(ArgText(path));
  return KernelTruth(CMD_CREATE_DIRECTORY, args);
}

int32_t RtOpenFileStream(const char* path) {
  auto args = MakeArguments(ArgText(path));
  return ResultInt(CallKernel(CMD_FILE_STREAM_OPEN, args));
}

bool RtAppendToFileStream(int32_t stream, const ByteSet* bytes) {
  auto args = MakeArguments(ArgInt(stream), ArgBytes(bytes));
  return KernelTruth(CMD_FILE_STREAM_APPEND, args);
}

bool RtFinishFileStream(int32_t stream, bool keep) {
  auto args = MakeArguments(ArgInt(stream), ArgBool(keep));
  return KernelTruth(CMD_FILE_STREAM_FINISH, args);
}

bool RtStartThread(ApplicationRoutine routine) {
  auto args = MakeArguments(ArgRoutine(routine), ArgOmitted(), ArgOmitted());
  CommandResult started =
      tulora_services.CallLibraryCommand(TULORA_LIBRARY(THREAD), CMD_THREAD_START, args.list());
  return ResultInt(started) != 0;
}

bool RtStartThreadWith(ApplicationRoutine routine, int32_t argument, int32_t* handle) {
  auto args = MakeArguments(ArgRoutine(routine), ArgInt(argument),
                            handle != nullptr ? ArgByRefInt(handle) : ArgOmitted());
  CommandResult started =
      tulora_services.CallLibraryCommand(TULORA_LIBRARY(THREAD), CMD_THREAD_START, args.list());
  return ResultInt(started) != 0;
}

void RtPause(int32_t milliseconds) {
  auto args = MakeArguments(ArgInt(milliseconds));
  tulora_services.CallLibraryCommand(TULORA_LIBRARY(EXTRA), CMD_PAUSE, args.list());
}

}  // namespace tulora
