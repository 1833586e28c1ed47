// Thin wrappers: one argument list on the stack, one kernel command call.
#include "image/runtime_calls.h"

#include "image/arguments.h"
#include "image/commands.h"

namespace tulora {
namespace {

template <uint32_t N>
char* KernelText(uint32_t command, ArgumentBuffer<N>& args) {
  return static_cast<char*>(ResultPointer(CallKernel(command, args)));
}

template <uint32_t N>
int32_t KernelInt(uint32_t command, ArgumentBuffer<N>& args) {
  return ResultInt(CallKernel(command, args));
}

}  // namespace

int32_t RtTextToInt(const char* text) {
  auto args = MakeArguments(ArgText(text));
  return KernelInt(CMD_TEXT_TO_INT, args);
}

char* RtNumberToText(double value) {
  auto args = MakeArguments(ArgDouble(value));
  return KernelText(CMD_NUMBER_TO_TEXT, args);
}

char* RtBytesToText(const ByteSet* bytes) {
  auto args = MakeArguments(ArgBytes(bytes));
  return KernelText(CMD_BYTES_TO_TEXT, args);
}

ByteSet* RtTextToBytes(const char* text) {
  auto args = MakeArguments(ArgText(text));
  return static_cast<ByteSet*>(ResultPointer(CallKernel(CMD_TEXT_TO_BYTES, args)));
}

char* RtLower(const char* text) {
  auto args = MakeArguments(ArgText(text));
  return KernelText(CMD_LOWER, args);
}

char* RtUpper(const char* text) {
  auto args = MakeArguments(ArgText(text));
  return KernelText(CMD_UPPER, args);
}

char* RtLeft(const char* text, int32_t count) {
  auto args = MakeArguments(ArgText(text), ArgInt(count));
  return KernelText(CMD_LEFT, args);
}

char* RtRight(const char* text, int32_t count) {
  auto args = MakeArguments(ArgText(text), ArgInt(count));
  return KernelText(CMD_RIGHT, args);
}

int32_t RtLength(const char* text) {
  auto args = MakeArguments(ArgText(text));
  return KernelInt(CMD_LENGTH, args);
}

int32_t RtFind(const char* text, const char* sought, int32_t start, bool ignoreCase) {
  auto args = MakeArguments(ArgText(text), ArgText(sought), ArgInt(start), ArgBool(ignoreCase));
  return KernelInt(CMD_FIND, args);
}

int32_t RtFindLast(const char* text, const char* sought, bool ignoreCase) {
  auto args = MakeArguments(ArgText(text), ArgText(sought), ArgBool(ignoreCase));
  return KernelInt(CMD_FIND_LAST, args);
}

char* RtTrim(const char* text) {
  auto args = MakeArguments(ArgText(text));
  return KernelText(CMD_TRIM, args);
}

char* RtRemoveSpaces(const char* text) {
  auto args = MakeArguments(ArgText(text));
  return KernelText(CMD_REMOVE_SPACES, args);
}

TextArray* RtSplit(const char* text, const char* separator) {
  auto args = MakeArguments(ArgText(text), ArgText(separator));
  return static_cast<TextArray*>(ResultPointer(CallKernel(CMD_SPLIT, args)));
}

char* RtReplace(const char* text, const char* sought, const char* replacement, bool ignoreCase) {
  auto args =
      MakeArguments(ArgText(text), ArgText(sought), ArgText(replacement), ArgBool(ignoreCase));
  return KernelText(CMD_REPLACE, args);
}

uint32_t CallDll(uint32_t entry, uint32_t count, const uintptr_t* args) {
  return static_cast<uint32_t>(tulora_services.CallDllFunction(entry, count, args));
}

}  // namespace tulora
