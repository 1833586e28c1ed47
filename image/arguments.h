// Building the argument lists of library commands on the stack.
//
//   auto args = MakeArguments(ArgText(text), ArgInt(3));
//   CommandResult r = tulora_services.CallKernelCommand(CMD_LEFT, args.list());
//
// Freestanding, header only. A pointer or 64-bit value keeps its low half in
// `value` and its high half in `high` (always 0 for pointers on i386).
#ifndef TULORA_IMAGE_ARGUMENTS_H
#define TULORA_IMAGE_ARGUMENTS_H

#include <stdint.h>

#include "image/services.h"
#include "image/values.h"

namespace tulora {

inline ArgumentRecord ArgPointer(const void* pointer, uint32_t type) {
  uint64_t word = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer));
  return ArgumentRecord{static_cast<uint32_t>(word), static_cast<uint32_t>(word >> 32), type};
}

// A text; null is passed as the empty text, never as a null pointer.
inline ArgumentRecord ArgText(const char* text) {
  return ArgPointer(text != nullptr ? text : "", TYPE_TEXT);
}
// A byte set; null is passed as the empty byte set.
inline ArgumentRecord ArgBytes(const ByteSet* bytes) {
  return ArgPointer(bytes != nullptr ? bytes : EmptyByteSet(), TYPE_BYTES);
}
inline ArgumentRecord ArgInt(int32_t value) {
  return ArgumentRecord{static_cast<uint32_t>(value), 0, TYPE_INT};
}
inline ArgumentRecord ArgBool(bool value) { return ArgumentRecord{value ? 1u : 0u, 0, TYPE_BOOL}; }
inline ArgumentRecord ArgByte(uint8_t value) { return ArgumentRecord{value, 0, TYPE_BYTE}; }
inline ArgumentRecord ArgDouble(double value) {
  uint64_t bits = __builtin_bit_cast(uint64_t, value);
  return ArgumentRecord{static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32),
                        TYPE_DOUBLE};
}
inline ArgumentRecord ArgRoutine(ApplicationRoutine routine) {
  return ArgPointer(reinterpret_cast<const void*>(routine), TYPE_ROUTINE);
}
// An omitted optional argument: three zero words.
inline ArgumentRecord ArgOmitted() { return ArgumentRecord{0, 0, 0}; }

// By reference: the address of the caller's variable, which the command may
// replace (texts and byte sets: the old block is released by the command).
inline ArgumentRecord ArgByRefText(char** variable) {
  return ArgPointer(variable, TYPE_TEXT | TYPE_BYREF);
}
inline ArgumentRecord ArgByRefBytes(ByteSet** variable) {
  return ArgPointer(variable, TYPE_BYTES | TYPE_BYREF);
}
inline ArgumentRecord ArgByRefInt(int32_t* variable) {
  return ArgPointer(variable, TYPE_INT | TYPE_BYREF);
}
inline ArgumentRecord ArgByRefBool(int32_t* variable) {
  return ArgPointer(variable, TYPE_BOOL | TYPE_BYREF);
}
// A library data type's value block (type: TYPE_LIB_OBJECT or
// TYPE_LIB_VARIANT, with TYPE_BYREF added for a variable).
inline ArgumentRecord ArgLibraryValue(const void* block, uint32_t type) {
  return ArgPointer(block, type);
}

// A fixed-size argument list on the stack, laid out as ArgumentList: the
// count, then N records.
template <uint32_t N>
struct ArgumentBuffer {
  uint32_t count;
  ArgumentRecord records[N];

  ArgumentList* list() { return reinterpret_cast<ArgumentList*>(this); }
};

// The list of a command without arguments.
template <>
struct ArgumentBuffer<0> {
  uint32_t count;
  ArgumentList* list() { return reinterpret_cast<ArgumentList*>(this); }
};

template <typename... Records>
ArgumentBuffer<sizeof...(Records)> MakeArguments(Records... records) {
  if constexpr (sizeof...(Records) == 0) {
    return ArgumentBuffer<0>{0};
  } else {
    return ArgumentBuffer<sizeof...(Records)>{sizeof...(Records), {records...}};
  }
}

// Calls a kernel command with an argument list built above.
template <uint32_t N>
CommandResult CallKernel(uint32_t command, ArgumentBuffer<N>& args) {
  return tulora_services.CallKernelCommand(command, args.list());
}

// Results of CallKernelCommand / CallLibraryCommand.
inline void* ResultPointer(CommandResult result) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(result));
}
inline int32_t ResultInt(CommandResult result) {
  return static_cast<int32_t>(static_cast<uint32_t>(result));
}
inline double ResultDouble(CommandResult result) { return __builtin_bit_cast(double, result); }

}  // namespace tulora

#endif  // TULORA_IMAGE_ARGUMENTS_H
