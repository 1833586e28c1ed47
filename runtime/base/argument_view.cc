#include "runtime/base/argument_view.h"

#include <cstring>

namespace tulora::rt {
namespace {

constexpr uint32_t kByteSetMarker = 1;

uint32_t BaseType(uint32_t type) { return type & ~static_cast<uint32_t>(TYPE_BYREF); }

bool IsNumberType(uint32_t baseType) {
  return baseType == TYPE_INT || baseType == TYPE_BOOL || baseType == TYPE_BYTE ||
         baseType == TYPE_DOUBLE;
}

// Number stored in a variable of the given number type.
double LoadNumber(const void* variable, uint32_t baseType) {
  switch (baseType) {
    case TYPE_DOUBLE: {
      double d;
      std::memcpy(&d, variable, sizeof d);
      return d;
    }
    case TYPE_BYTE: return *static_cast<const uint8_t*>(variable);
    default: {
      int32_t i;
      std::memcpy(&i, variable, sizeof i);
      return i;
    }
  }
}

int32_t TruncateDouble(double d) {
  if (!(d == d)) return 0;
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(d);
}

}  // namespace

uintptr_t RecordAddress(const ArgumentRecord& record) {
  uint64_t wide = (static_cast<uint64_t>(record.high) << 32) | record.value;
  return static_cast<uintptr_t>(wide);
}

void SetRecordAddress(ArgumentRecord& record, const void* address, uint32_t type) {
  uint64_t wide = reinterpret_cast<uintptr_t>(address);
  record.value = static_cast<uint32_t>(wide);
  record.high = static_cast<uint32_t>(wide >> 32);
  record.type = type;
}

const ArgumentRecord* ArgumentView::At(uint32_t index) const {
  if (index >= Count()) return nullptr;
  return &list_->records[index];
}

bool ArgumentView::Omitted(uint32_t index) const {
  const ArgumentRecord* r = At(index);
  return r == nullptr || (r->value == 0 && r->high == 0 && r->type == 0);
}

uint32_t ArgumentView::Type(uint32_t index) const {
  const ArgumentRecord* r = At(index);
  return r ? r->type : 0;
}

bool ArgumentView::IsByRef(uint32_t index) const {
  return !Omitted(index) && (Type(index) & TYPE_BYREF) != 0;
}

void* ArgumentView::Variable(uint32_t index) const {
  if (!IsByRef(index)) return nullptr;
  return reinterpret_cast<void*>(RecordAddress(*At(index)));
}

uintptr_t ArgumentView::Address(uint32_t index) const {
  if (Omitted(index)) return 0;
  if (IsByRef(index)) {
    const void* variable = Variable(index);
    if (variable == nullptr) return 0;
    uintptr_t held;
    std::memcpy(&held, variable, sizeof held);
    return held;
  }
  return RecordAddress(*At(index));
}

const char* ArgumentView::Text(uint32_t index) const {
  if (BaseType(Type(index)) != TYPE_TEXT) return "";
  const char* text = reinterpret_cast<const char*>(Address(index));
  return text ? text : "";
}

double ArgumentView::Double(uint32_t index) const {
  if (Omitted(index)) return 0.0;
  const ArgumentRecord* r = At(index);
  uint32_t base = BaseType(r->type);
  if (!IsNumberType(base)) return 0.0;
  if (IsByRef(index)) {
    const void* variable = Variable(index);
    return variable ? LoadNumber(variable, base) : 0.0;
  }
  switch (base) {
    case TYPE_DOUBLE: {
      uint64_t bits = (static_cast<uint64_t>(r->high) << 32) | r->value;
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
    case TYPE_BYTE: return r->value & 0xFFu;
    default: return static_cast<int32_t>(r->value);
  }
}

int32_t ArgumentView::Int(uint32_t index) const { return TruncateDouble(Double(index)); }

bool ArgumentView::Bool(uint32_t index) const { return Double(index) != 0.0; }

const uint8_t* ArgumentView::Bytes(uint32_t index, uint32_t* length) const {
  static const uint8_t kNone[1] = {0};
  *length = 0;
  if (BaseType(Type(index)) != TYPE_BYTES) return kNone;
  const uint8_t* block = reinterpret_cast<const uint8_t*>(Address(index));
  if (block == nullptr) return kNone;
  uint32_t marker, size;
  std::memcpy(&marker, block, 4);
  std::memcpy(&size, block + 4, 4);
  if (marker != kByteSetMarker) return kNone;
  *length = size;
  return block + 8;
}

}  // namespace tulora::rt
