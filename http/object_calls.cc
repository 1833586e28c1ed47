#include "http/object_calls.h"

namespace tulora {
namespace {

// An object variable handed over by reference.
ArgumentRecord ArgObjectVariable(void** object) {
  return ArgLibraryValue(object, TULORA_TYPE(LIB_OBJECT_BYREF));
}

}  // namespace

bool CreateObject(void** object, const char* progId) {
  auto args = MakeArguments(ArgObjectVariable(object), ArgText(progId));
  return ResultInt(tulora_services.CallKernelCommand(CMD_OBJECT_CREATE, args.list())) != 0;
}

void ReleaseObject(void** object) {
  auto args = MakeArguments(ArgObjectVariable(object));
  tulora_services.CallKernelCommand(CMD_OBJECT_RELEASE, args.list());
}

void SetIndexedProperty(void* object, const char* property, int32_t index, ArgumentRecord value) {
  auto args = MakeArguments(ArgObject(object), ArgText(property), ArgInt(index), value);
  tulora_services.CallKernelCommand(CMD_OBJECT_SET_INDEXED, args.list());
}

bool GetPropertyVariant(void* object, const char* property, void** variant) {
  auto args = MakeArguments(ArgObject(object), ArgText(property), ArgVariantVariable(variant));
  return ResultInt(tulora_services.CallKernelCommand(CMD_OBJECT_GET_VARIANT, args.list())) != 0;
}

ByteSet* VariantToBytes(void* variant) {
  auto args = MakeArguments(ArgVariant(variant));
  return static_cast<ByteSet*>(
      ResultPointer(tulora_services.CallKernelCommand(CMD_VARIANT_TO_BYTES, args.list())));
}

void BytesToVariant(const ByteSet* bytes, void** variant) {
  auto args = MakeArguments(ArgBytes(bytes), ArgVariantVariable(variant));
  tulora_services.CallKernelCommand(CMD_BYTES_TO_VARIANT, args.list());
}

void ClearVariant(void** variant) {
  auto args = MakeArguments(ArgVariantVariable(variant));
  tulora_services.CallKernelCommand(CMD_VARIANT_CLEAR, args.list());
}

}  // namespace tulora
