// Read access to a library command's argument list, for the runtime side.
//
// The application builds the list (count + ArgumentRecords); the runtime
// reads it through this view, the one reader of argument lists in the whole
// runtime (kernel commands, text commands, support libraries). Omitted
// arguments (three zero words) and arguments beyond the count read as 0 /
// false / the empty text; a by-reference argument is read through the
// caller's variable.
//
// Numbers, whatever the command: an integer or truth value reads as its
// 32-bit value, a byte as its low 8 bits, a double as itself. Read as an
// integer, a double is truncated toward zero and held to the 32-bit range
// (1e12 gives INT32_MAX, NaN gives 0). A truth value is true when the
// number the argument holds is not 0, so a double 0.5 is true. Any other
// type (a text, a byte set, a routine, a value block) reads as the number 0.
#ifndef TULORA_RUNTIME_BASE_ARGUMENT_VIEW_H
#define TULORA_RUNTIME_BASE_ARGUMENT_VIEW_H

#include <stdint.h>

#include "image/services.h"

namespace tulora::rt {

// The pointer-sized value of a record: on x86-64 the high word holds the
// upper half of an address.
uintptr_t RecordAddress(const ArgumentRecord& record);

// Stores an address into a record the way the application does.
void SetRecordAddress(ArgumentRecord& record, const void* address, uint32_t type);

class ArgumentView {
 public:
  explicit ArgumentView(ArgumentList* list) : list_(list) {}

  uint32_t Count() const { return list_ ? list_->count : 0; }
  // Null for an index beyond the count.
  const ArgumentRecord* At(uint32_t index) const;
  bool Omitted(uint32_t index) const;
  uint32_t Type(uint32_t index) const;
  bool IsByRef(uint32_t index) const;

  // Values; a by-reference argument is read through its variable. A text or
  // byte set is read only from an argument of that type; any other type
  // reads as the empty one.
  const char* Text(uint32_t index) const;  // never null
  int32_t Int(uint32_t index) const;       // doubles truncated toward zero
  bool Bool(uint32_t index) const;
  double Double(uint32_t index) const;
  uintptr_t Address(uint32_t index) const;  // routines, value blocks
  // A byte set's data and length; the empty set for omitted or null.
  const uint8_t* Bytes(uint32_t index, uint32_t* length) const;

  // The caller's variable of a by-reference argument, or null when the
  // argument is omitted or not by reference.
  void* Variable(uint32_t index) const;

 private:
  ArgumentList* list_;
};

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_BASE_ARGUMENT_VIEW_H
