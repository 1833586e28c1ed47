// The kernel's object layer: objects created by ProgID and the variants
// their properties hand back, as the object commands of image/commands.h
// use them.
//
// The application holds objects and variants as value blocks in its own
// variables (library data types 0x00010030 and 0x00010031); it never looks
// into them. A class of objects becomes available by registering itself
// under its ProgID; until one is registered, creating it answers "no such
// object" (false).
#ifndef TULORA_RUNTIME_KERNEL_OBJECT_LAYER_H
#define TULORA_RUNTIME_KERNEL_OBJECT_LAYER_H

#include <stdint.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/services.h"
#include "runtime/base/argument_view.h"

namespace tulora::rt {

// The bytes of a byte array. They may be shared with the object that made
// them (a response body of many megabytes is not copied to be read once);
// nobody changes them once they are set.
class VariantBytes {
 public:
  VariantBytes() = default;
  VariantBytes(std::initializer_list<uint8_t> bytes) { assign(bytes.begin(), bytes.end()); }
  // A copy of [first, last).
  void assign(const uint8_t* first, const uint8_t* last) {
    auto copy = std::make_shared<const std::string>(reinterpret_cast<const char*>(first),
                                                    static_cast<size_t>(last - first));
    share(copy, copy->data(), copy->size());
  }
  // `size` bytes at `data`, which `owner` keeps alive and unchanged.
  void share(std::shared_ptr<const void> owner, const void* data, size_t size) {
    owner_ = std::move(owner);
    data_ = static_cast<const uint8_t*>(data);
    size_ = owner_ ? size : 0;
  }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  std::string_view view() const {
    return size_ ? std::string_view(reinterpret_cast<const char*>(data_), size_)
                 : std::string_view();
  }

 private:
  std::shared_ptr<const void> owner_;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

struct Variant {
  enum class Kind { kEmpty, kBytes, kText, kNumber };
  Kind kind = Kind::kEmpty;
  VariantBytes bytes;  // kBytes: a byte array
  std::string text;    // kText: GBK
  double number = 0;   // kNumber
};

// What a method hands back to the application.
struct MethodResult {
  enum class Kind { kNone, kText, kInt, kDouble };
  Kind kind = Kind::kNone;
  std::string text;  // GBK
  int32_t integer = 0;
  double number = 0;
};

// Results of methods and properties: texts come back as new GBK texts,
// numbers as int32 (kInt) or double (kDouble) as the class says for each
// member. A method of no object, or one the object lacks, gives 0 (read as
// an absent text, 0 or 0.0 by the caller).
//
// A class of objects. `args` of Call and SetIndexed are the command's own
// argument list; the method's or property's arguments start at `first`.
struct ObjectClass {
  const char* progId;
  void* (*Create)(void);
  void (*Destroy)(void* instance);
  // False when the object has no such method.
  bool (*Call)(void* instance, const char* method, const ArgumentView& args, uint32_t first,
               MethodResult* result);
  // Sets property[index] to the argument at `value`; false when unknown.
  bool (*SetIndexed)(void* instance, const char* property, int32_t index, const ArgumentView& args,
                     uint32_t value);
  // Reads a property as a variant; false when unknown.
  bool (*GetProperty)(void* instance, const char* property, Variant* out);
};

// Makes a class available under its ProgID (compared without regard to
// ASCII letter case, as ProgIDs are). False when the ProgID is taken.
bool RegisterObjectClass(const ObjectClass* objectClass);

// The variant an argument passes (a variant value block, directly or by
// reference), or null when it passes none.
const Variant* VariantArgument(const ArgumentView& args, uint32_t index);

// The object commands (CMD_OBJECT_CREATE ... CMD_OBJECT_RELEASE).
CommandResult RunObjectCommand(uint32_t command, ArgumentList* args);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_OBJECT_LAYER_H
