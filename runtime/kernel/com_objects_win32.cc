// The system's COM objects for the object layer, through IDispatch.
//
// A member is found by name (GetIDsOfNames, letter case as the object
// compares it) and invoked; the command's arguments become VARIANTs:
// GBK texts BSTRs (code page 936), integers and bytes VT_I4, doubles VT_R8,
// truth values VT_BOOL, byte sets and byte-array variants SAFEARRAYs of
// VT_UI1, an omitted argument between others "parameter not found", and
// trailing omitted ones are left out. What comes back, as the Linux request
// class gives the same members: a BSTR a GBK text; a number a double,
// except Option(n), an int32; a truth value 1 or 0; a byte array (property
// reads only) the variant's bytes, shared with the array rather than
// copied.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/interface_constants.h"
#include "runtime/kernel/com_objects.h"
#include "runtime/kernel/object_layer.h"

namespace tulora::rt {
namespace {

// Null when the text does not convert (or memory runs out).
BSTR GbkToBstr(const char* gbk) {
  const size_t length = std::strlen(gbk);
  if (length > INT_MAX) return nullptr;
  if (length == 0) return SysAllocStringLen(L"", 0);
  const int bytes = static_cast<int>(length);
  const int units = MultiByteToWideChar(CP_GBK, 0, gbk, bytes, nullptr, 0);
  if (units <= 0) return nullptr;
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (text == nullptr) return nullptr;
  if (MultiByteToWideChar(CP_GBK, 0, gbk, bytes, text, units) != units) {
    SysFreeString(text);
    return nullptr;
  }
  return text;
}

std::string BstrToGbk(BSTR text) {
  const UINT units = SysStringLen(text);  // 0 for a null BSTR
  if (units == 0 || units > INT_MAX) return std::string();
  const int wide = static_cast<int>(units);
  const int n = WideCharToMultiByte(CP_GBK, 0, text, wide, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string gbk(static_cast<size_t>(n), '\0');
  const int written = WideCharToMultiByte(CP_GBK, 0, text, wide, gbk.data(), n, nullptr, nullptr);
  gbk.resize(written > 0 && written <= n ? static_cast<size_t>(written) : 0);
  return gbk;
}

bool BytesToVariant(const uint8_t* data, size_t size, VARIANT* out) {
  if (size > ULONG_MAX) return false;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
  if (array == nullptr) return false;
  void* elements = nullptr;
  if (size > 0) {
    if (FAILED(SafeArrayAccessData(array, &elements))) {
      SafeArrayDestroy(array);
      return false;
    }
    std::memcpy(elements, data, size);
    SafeArrayUnaccessData(array);
  }
  out->vt = VT_ARRAY | VT_UI1;
  out->parray = array;
  return true;
}

bool TextToVariant(const char* gbk, VARIANT* out) {
  BSTR text = GbkToBstr(gbk);
  if (text == nullptr) return false;
  out->vt = VT_BSTR;
  out->bstrVal = text;
  return true;
}

bool ValueToVariant(const Variant& value, VARIANT* out) {
  switch (value.kind) {
    case Variant::Kind::kBytes: return BytesToVariant(value.bytes.data(), value.bytes.size(), out);
    case Variant::Kind::kText: return TextToVariant(value.text.c_str(), out);
    case Variant::Kind::kNumber:
      out->vt = VT_R8;
      out->dblVal = value.number;
      return true;
    default: return true;  // VT_EMPTY
  }
}

bool ArgumentToVariant(const ArgumentView& args, uint32_t i, VARIANT* out) {
  if (args.Omitted(i)) {
    out->vt = VT_ERROR;
    out->scode = DISP_E_PARAMNOTFOUND;
    return true;
  }
  if (const Variant* value = VariantArgument(args, i)) return ValueToVariant(*value, out);
  switch (args.Type(i) & ~static_cast<uint32_t>(TYPE_BYREF)) {
    case TYPE_TEXT: return TextToVariant(args.Text(i), out);
    case TYPE_BYTES: {
      uint32_t length = 0;
      const uint8_t* data = args.Bytes(i, &length);
      return BytesToVariant(data, length, out);
    }
    case TYPE_BOOL:
      out->vt = VT_BOOL;
      out->boolVal = args.Bool(i) ? VARIANT_TRUE : VARIANT_FALSE;
      return true;
    case TYPE_DOUBLE:
      out->vt = VT_R8;
      out->dblVal = args.Double(i);
      return true;
    case TYPE_INT:
    case TYPE_BYTE:
      out->vt = VT_I4;
      out->lVal = args.Int(i);
      return true;
    default: return true;  // nothing the object could take: VT_EMPTY
  }
}

// The VARIANTs of one invocation, cleared when it is over; IDispatch takes
// them last first.
class InvokeArguments {
 public:
  InvokeArguments() = default;
  InvokeArguments(const InvokeArguments&) = delete;
  InvokeArguments& operator=(const InvokeArguments&) = delete;
  ~InvokeArguments() {
    for (VARIANT& v : values_) VariantClear(&v);
  }

  // The arguments from `first` on, without the omitted ones at the end.
  bool Take(const ArgumentView& args, uint32_t first) {
    uint32_t end = args.Count();
    while (end > first && args.Omitted(end - 1)) --end;
    values_.reserve(end > first ? end - first : 0);
    for (uint32_t i = end; i > first; --i) {
      if (!ArgumentToVariant(args, i - 1, Next())) return false;
    }
    return true;
  }
  VARIANT* Next() {
    values_.emplace_back();
    VariantInit(&values_.back());
    return &values_.back();
  }
  DISPPARAMS Params() {
    return DISPPARAMS{values_.data(), nullptr, static_cast<UINT>(values_.size()), 0};
  }

 private:
  std::vector<VARIANT> values_;
};

// The member's DISPID; false when the object has no member of that name.
bool FindMember(IDispatch* object, const char* member, DISPID* id) {
  BSTR name = GbkToBstr(member);
  if (name == nullptr) return false;
  LPOLESTR names[] = {name};
  const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
  SysFreeString(name);
  return SUCCEEDED(hr);
}

HRESULT Invoke(IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) {
  EXCEPINFO exception{};
  UINT badArgument = 0;
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params, result,
                                    &exception, &badArgument);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return hr;
}

// A number of the VARIANT's types; false for any other type.
bool NumberOf(const VARIANT& v, double* number) {
  switch (v.vt) {
    case VT_I1: *number = v.cVal; return true;
    case VT_I2: *number = v.iVal; return true;
    case VT_I4: *number = v.lVal; return true;
    case VT_INT: *number = v.intVal; return true;
    case VT_UI1: *number = v.bVal; return true;
    case VT_UI2: *number = v.uiVal; return true;
    case VT_UI4: *number = v.ulVal; return true;
    case VT_UINT: *number = v.uintVal; return true;
    case VT_R4: *number = v.fltVal; return true;
    case VT_R8: *number = v.dblVal; return true;
    case VT_BOOL: *number = v.boolVal != VARIANT_FALSE ? 1 : 0; return true;
    default: return false;
  }
}

int32_t ToInt32(double number) {
  if (!(number > INT32_MIN - 1.0)) return number != number ? 0 : INT32_MIN;
  if (!(number < INT32_MAX + 1.0)) return INT32_MAX;
  return static_cast<int32_t>(number);
}

void MethodResultOf(const char* member, const VARIANT& v, MethodResult* out) {
  double number = 0;
  if (v.vt == VT_BSTR) {
    out->kind = MethodResult::Kind::kText;
    out->text = BstrToGbk(v.bstrVal);
  } else if (NumberOf(v, &number) && lstrcmpiA(member, "Option") == 0) {
    out->kind = MethodResult::Kind::kInt;
    out->integer = ToInt32(number);
  } else if (NumberOf(v, &number)) {
    out->kind = MethodResult::Kind::kDouble;
    out->number = number;
  }
}

// The element count of a one-dimensional byte array; false for any other.
bool ByteCount(SAFEARRAY* array, size_t* count) {
  LONG lower = 0, upper = -1;
  if (array == nullptr || SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) != 1 ||
      FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(array, 1, &upper))) {
    return false;
  }
  const int64_t n = static_cast<int64_t>(upper) - lower + 1;
  if (n < 0 || static_cast<uint64_t>(n) > SIZE_MAX) return false;
  *count = static_cast<size_t>(n);
  return true;
}

// The array's bytes, kept alive by the variant's byte array; `array` is
// the caller's no longer. False when it is no one-dimensional byte array.
bool TakeByteArray(SAFEARRAY* array, VariantBytes* out) {
  size_t count = 0;
  void* data = nullptr;
  const bool ok = ByteCount(array, &count);
  if (!ok || count == 0 || FAILED(SafeArrayAccessData(array, &data))) {
    SafeArrayDestroy(array);
    return ok && count == 0;
  }
  std::shared_ptr<SAFEARRAY> owner(array, [](SAFEARRAY* a) {
    SafeArrayUnaccessData(a);
    SafeArrayDestroy(a);
  });
  out->share(owner, data, count);
  return true;
}

void PropertyValueOf(VARIANT* v, Variant* out) {
  double number = 0;
  if (v->vt == VT_BSTR) {
    out->kind = Variant::Kind::kText;
    out->text = BstrToGbk(v->bstrVal);
  } else if (v->vt == (VT_ARRAY | VT_UI1)) {
    SAFEARRAY* array = v->parray;
    v->vt = VT_EMPTY;  // the array is the byte array's now
    out->kind = TakeByteArray(array, &out->bytes) ? Variant::Kind::kBytes : Variant::Kind::kEmpty;
  } else if (NumberOf(*v, &number)) {
    out->kind = Variant::Kind::kNumber;
    out->number = number;
  }
}

IDispatch* Object(void* instance) { return static_cast<IDispatch*>(instance); }

// A member the object has but that fails (a request before Open, a refused
// connection) still counts as called: its result is none.
bool Call(void* instance, const char* method, const ArgumentView& args, uint32_t first,
          MethodResult* result) {
  DISPID id;
  if (!FindMember(Object(instance), method, &id)) return false;
  InvokeArguments arguments;
  if (!arguments.Take(args, first)) return true;
  DISPPARAMS params = arguments.Params();
  VARIANT value;
  VariantInit(&value);
  // Properties such as Status are read with a method call as well.
  const WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  if (SUCCEEDED(Invoke(Object(instance), id, flags, &params, &value))) {
    MethodResultOf(method, value, result);
  }
  VariantClear(&value);
  return true;
}

// A write the object refuses (one it does not implement) is no error of
// the program: only a property the object lacks gives false.
bool SetIndexed(void* instance, const char* property, int32_t index, const ArgumentView& args,
                uint32_t value) {
  DISPID id;
  if (!FindMember(Object(instance), property, &id)) return false;
  InvokeArguments arguments;
  if (!ArgumentToVariant(args, value, arguments.Next())) return true;
  VARIANT* key = arguments.Next();
  key->vt = VT_I4;
  key->lVal = index;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = arguments.Params();
  params.rgdispidNamedArgs = &named;
  params.cNamedArgs = 1;
  Invoke(Object(instance), id, DISPATCH_PROPERTYPUT, &params, nullptr);
  return true;
}

bool GetProperty(void* instance, const char* property, Variant* out) {
  DISPID id;
  if (!FindMember(Object(instance), property, &id)) return false;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  const bool read = SUCCEEDED(Invoke(Object(instance), id, DISPATCH_PROPERTYGET, &none, &value));
  if (read) PropertyValueOf(&value, out);
  VariantClear(&value);
  return read;
}

void* CreateRequest() { return CreateSystemObject(REQUEST_PROG_ID); }

const ObjectClass kRequestClass = {REQUEST_PROG_ID, CreateRequest, ReleaseSystemObject, Call,
                                   SetIndexed,      GetProperty};

}  // namespace

void* CreateSystemObject(const char* progId) {
  BSTR name = GbkToBstr(progId);
  if (name == nullptr) return nullptr;
  CLSID clsid;
  const HRESULT found = CLSIDFromProgID(name, &clsid);
  SysFreeString(name);
  if (FAILED(found)) return nullptr;
  void* object = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, &object))) {
    return nullptr;
  }
  return object;
}

void ReleaseSystemObject(void* object) {
  if (object != nullptr) Object(object)->Release();
}

void RegisterSystemObjectClasses() { RegisterObjectClass(&kRequestClass); }

}  // namespace tulora::rt
