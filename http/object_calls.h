// The application's calls of the kernel's object commands: objects created
// by ProgID, their methods and properties, and the variants properties hand
// back.
//
// An object variable and a variant variable hold the address of a value
// block that the runtime owns (null when empty); the application only passes
// them on. Methods that give a number give it as a double; methods that give
// a text give a new text (null when the object has no such method).
//
// Freestanding: <stdint.h> only.
#ifndef TULORA_HTTP_OBJECT_CALLS_H
#define TULORA_HTTP_OBJECT_CALLS_H

#include <stdint.h>

#include "image/arguments.h"
#include "image/commands.h"
#include "image/link_symbols.h"
#include "image/values.h"

namespace tulora {

inline ArgumentRecord ArgObject(void* object) {
  return ArgLibraryValue(object, TULORA_TYPE(LIB_OBJECT));
}
inline ArgumentRecord ArgVariant(void* variant) {
  return ArgLibraryValue(variant, TULORA_TYPE(LIB_VARIANT));
}
inline ArgumentRecord ArgVariantVariable(void** variant) {
  return ArgLibraryValue(variant, TULORA_TYPE(LIB_VARIANT_BYREF));
}

// Creates an object of the class registered under `progId` into `*object`;
// false when there is no such class (the variable is then unchanged).
bool CreateObject(void** object, const char* progId);
// Drops the variable's object and empties the variable.
void ReleaseObject(void** object);

// Calls `method` with the given argument records; the raw command result.
template <typename... Records>
CommandResult CallMethod(void* object, const char* method, Records... records) {
  auto args = MakeArguments(ArgObject(object), ArgText(method), records...);
  return tulora_services.CallKernelCommand(CMD_OBJECT_CALL, args.list());
}
// A method that gives a text: a new text, never null.
template <typename... Records>
char* CallTextMethod(void* object, const char* method, Records... records) {
  char* text = static_cast<char*>(ResultPointer(CallMethod(object, method, records...)));
  return text != nullptr ? text : CopyText("");
}

// Writes property[index] = value.
void SetIndexedProperty(void* object, const char* property, int32_t index, ArgumentRecord value);
// Reads a property into the variant variable; false when it cannot.
bool GetPropertyVariant(void* object, const char* property, void** variant);
// A new byte set with the bytes of a byte-array variant (empty otherwise).
ByteSet* VariantToBytes(void* variant);
// Replaces the variant variable's value by a byte array of `bytes`.
void BytesToVariant(const ByteSet* bytes, void** variant);
// Drops the variant and empties the variable.
void ClearVariant(void** variant);

}  // namespace tulora

#endif  // TULORA_HTTP_OBJECT_CALLS_H
