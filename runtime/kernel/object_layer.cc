#include "runtime/kernel/object_layer.h"

#include <cctype>
#include <cstring>
#include <mutex>

#include "image/commands.h"
#include "runtime/kernel/kernel_commands.h"
#include "runtime/kernel/kernel_services.h"

namespace tulora::rt {
namespace {

constexpr uint32_t kObjectMagic = 0x4F424A31;   // "OBJ1"
constexpr uint32_t kVariantMagic = 0x56415231;  // "VAR1"

// The value blocks the application's variables point to.
struct ObjectBlock {
  uint32_t magic;
  const ObjectClass* objectClass;
  void* instance;
};
struct VariantBlock {
  uint32_t magic;
  Variant value;
};

std::mutex g_registryLock;
std::vector<const ObjectClass*>& Registry() {
  static std::vector<const ObjectClass*> classes;
  return classes;
}

// ProgIDs match without regard to the letter case of ASCII letters.
bool SameProgId(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int x = std::tolower(static_cast<unsigned char>(*a));
    int y = std::tolower(static_cast<unsigned char>(*b));
    if (x != y) return false;
    if (x == 0) return true;
  }
}

const ObjectClass* FindClass(const char* progId) {
  std::lock_guard<std::mutex> lock(g_registryLock);
  for (const ObjectClass* c : Registry()) {
    if (SameProgId(c->progId, progId)) return c;
  }
  return nullptr;
}

template <typename Block>
Block* BlockAt(uintptr_t address, uint32_t magic) {
  Block* block = reinterpret_cast<Block*>(address);
  return block != nullptr && block->magic == magic ? block : nullptr;
}

// Only an argument of the block's own library type is looked into: any
// other (a text, a number) names no object or variant.
bool HasType(const ArgumentView& args, uint32_t index, uint32_t type) {
  return (args.Type(index) & ~static_cast<uint32_t>(TYPE_BYREF)) == type;
}

ObjectBlock* ObjectArg(const ArgumentView& args, uint32_t index) {
  if (!HasType(args, index, TYPE_LIB_OBJECT)) return nullptr;
  return BlockAt<ObjectBlock>(args.Address(index), kObjectMagic);
}
VariantBlock* VariantArg(const ArgumentView& args, uint32_t index) {
  if (!HasType(args, index, TYPE_LIB_VARIANT)) return nullptr;
  return BlockAt<VariantBlock>(args.Address(index), kVariantMagic);
}

void StoreAddress(void* variable, const void* block) {
  std::memcpy(variable, &block, sizeof block);
}

void DestroyObject(ObjectBlock* object) {
  if (object == nullptr) return;
  object->objectClass->Destroy(object->instance);
  object->magic = 0;
  delete object;
}

void DestroyVariant(VariantBlock* variant) {
  if (variant == nullptr) return;
  variant->magic = 0;
  delete variant;
}

// (byref object, progId) -> bool. The variable's earlier object is released
// only when a new one takes its place.
CommandResult Create(const ArgumentView& args) {
  void* variable = args.Variable(0);
  const ObjectClass* objectClass = FindClass(args.Text(1));
  if (variable == nullptr || objectClass == nullptr) return 0;
  void* instance = objectClass->Create();
  if (instance == nullptr) return 0;
  DestroyObject(ObjectArg(args, 0));
  StoreAddress(variable, new ObjectBlock{kObjectMagic, objectClass, instance});
  return 1;
}

CommandResult ResultOf(const MethodResult& result) {
  switch (result.kind) {
    case MethodResult::Kind::kText: return NewTextResult(result.text);
    case MethodResult::Kind::kInt: return static_cast<uint32_t>(result.integer);
    case MethodResult::Kind::kDouble: {
      CommandResult bits;
      std::memcpy(&bits, &result.number, sizeof bits);
      return bits;
    }
    default: return 0;
  }
}

// (object, method, args...) -> the method's result. Calling a method of no
// object, or one the object lacks, gives 0 (a method that would return a
// text gives nothing then, and the caller reads an absent text as empty).
CommandResult Call(const ArgumentView& args) {
  ObjectBlock* object = ObjectArg(args, 0);
  if (object == nullptr) return 0;
  MethodResult result;
  if (!object->objectClass->Call(object->instance, args.Text(1), args, 2, &result)) return 0;
  return ResultOf(result);
}

CommandResult SetIndexed(const ArgumentView& args) {
  ObjectBlock* object = ObjectArg(args, 0);
  if (object != nullptr) {
    object->objectClass->SetIndexed(object->instance, args.Text(1), args.Int(2), args, 3);
  }
  return 0;
}

// (object, property, byref variant) -> bool.
CommandResult GetVariant(const ArgumentView& args) {
  ObjectBlock* object = ObjectArg(args, 0);
  void* variable = args.Variable(2);
  if (object == nullptr || variable == nullptr) return 0;
  Variant value;
  if (!object->objectClass->GetProperty(object->instance, args.Text(1), &value)) return 0;
  DestroyVariant(VariantArg(args, 2));
  StoreAddress(variable, new VariantBlock{kVariantMagic, std::move(value)});
  return 1;
}

// A byte set's block, its 8-byte head included, is sized in 32 bits: more
// bytes than that holds give the empty set, never a block that wraps.
CommandResult NewByteSet(const uint8_t* data, size_t length) {
  constexpr size_t kMostBytes = UINT32_MAX - 8;
  if (length > kMostBytes) length = 0;
  uint32_t size = static_cast<uint32_t>(length);
  uint8_t* block = static_cast<uint8_t*>(AllocateBlock(8 + size));
  uint32_t header[2] = {1, size};
  std::memcpy(block, header, 8);
  if (size) std::memcpy(block + 8, data, size);
  return reinterpret_cast<uintptr_t>(block);
}

// (variant) -> bytes; a variant that holds no byte array gives the empty set.
CommandResult VariantToBytes(const ArgumentView& args) {
  VariantBlock* variant = VariantArg(args, 0);
  if (variant == nullptr || variant->value.kind != Variant::Kind::kBytes) {
    return NewByteSet(nullptr, 0);
  }
  return NewByteSet(variant->value.bytes.data(), variant->value.bytes.size());
}

CommandResult BytesToVariant(const ArgumentView& args) {
  void* variable = args.Variable(1);
  if (variable == nullptr) return 0;
  uint32_t length;
  const uint8_t* data = args.Bytes(0, &length);
  Variant value;
  value.kind = Variant::Kind::kBytes;
  value.bytes.assign(data, data + length);
  DestroyVariant(VariantArg(args, 1));
  StoreAddress(variable, new VariantBlock{kVariantMagic, std::move(value)});
  return 0;
}

// (byref value) -> 0: the block goes and the variable is emptied.
template <typename Block>
CommandResult Drop(const ArgumentView& args, Block* block, void (*destroy)(Block*)) {
  void* variable = args.Variable(0);
  if (variable == nullptr) return 0;
  destroy(block);
  StoreAddress(variable, nullptr);
  return 0;
}

}  // namespace

const Variant* VariantArgument(const ArgumentView& args, uint32_t index) {
  VariantBlock* block = VariantArg(args, index);
  return block ? &block->value : nullptr;
}

bool RegisterObjectClass(const ObjectClass* objectClass) {
  if (FindClass(objectClass->progId) != nullptr) return false;
  std::lock_guard<std::mutex> lock(g_registryLock);
  Registry().push_back(objectClass);
  return true;
}

CommandResult RunObjectCommand(uint32_t command, ArgumentList* list) {
  ArgumentView args(list);
  switch (command) {
    case CMD_OBJECT_CREATE: return Create(args);
    case CMD_OBJECT_CALL: return Call(args);
    case CMD_OBJECT_SET_INDEXED: return SetIndexed(args);
    case CMD_OBJECT_GET_VARIANT: return GetVariant(args);
    case CMD_VARIANT_TO_BYTES: return VariantToBytes(args);
    case CMD_BYTES_TO_VARIANT: return BytesToVariant(args);
    case CMD_VARIANT_CLEAR: return Drop(args, VariantArg(args, 0), DestroyVariant);
    case CMD_OBJECT_RELEASE: return Drop(args, ObjectArg(args, 0), DestroyObject);
    default: return 0;
  }
}

}  // namespace tulora::rt
