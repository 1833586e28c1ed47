// The request object "WinHttp.WinHttpRequest.5.1" for the object layer, over
// the network back-end's request class.
//
// Members (names without regard to letter case, as the platform's object
// dispatches them):
//   SetTimeouts(resolve, connect, send, receive)   Open(method, url, [async])
//   SetProxy(setting, [server], [bypass])           SetRequestHeader(name, value)
//   Send([body]): a variant holding a byte array is sent as those bytes; a
//       text is sent as its UTF-8 form (the object takes a Unicode string);
//       no body sends none
//   GetAllResponseHeaders() -> text, StatusText() -> text, Status() -> double,
//   Option(index) -> int32;  Option(index) = value (indexed property)
//   properties read as variants: ResponseBody (byte array), Status (number)
// The URL is handed over in UTF-8 as well; header names and values go out as
// the bytes the application gave, and the header block comes back as the
// bytes that were received.
#include <strings.h>

#include <cstring>

#include "image/interface_constants.h"
#include "runtime/kernel/object_layer.h"
#include "runtime/linux_winapi/request_object.h"
#include "runtime/linux_winapi/winhttp.h"
#include "runtime/text/gbk_text.h"

namespace tulora::rt {
namespace {

using net::WinHttpRequest;

bool Is(const char* name, const char* member) { return strcasecmp(name, member) == 0; }

std::string Utf8(const char* gbk) { return GbkToUtf8(gbk, std::strlen(gbk)); }

void* Create() { return new WinHttpRequest; }
void Destroy(void* instance) { delete static_cast<WinHttpRequest*>(instance); }

bool Send(WinHttpRequest& r, const ArgumentView& args, uint32_t at) {
  if (const Variant* body = VariantArgument(args, at)) {
    if (body->kind == Variant::Kind::kBytes) return r.Send(body->bytes.view());
    return r.Send(body->kind == Variant::Kind::kText ? Utf8(body->text.c_str()) : std::string());
  }
  if (args.Omitted(at)) return r.Send();
  return r.Send(Utf8(args.Text(at)));
}

// Members without a result; false when `m` is none of them.
bool CallCommand(WinHttpRequest& r, const char* m, const ArgumentView& a, uint32_t at) {
  if (Is(m, "SetTimeouts")) {
    r.SetTimeouts(a.Int(at), a.Int(at + 1), a.Int(at + 2), a.Int(at + 3));
  } else if (Is(m, "SetProxy")) {
    r.SetProxy(a.Int(at), a.Text(at + 1), a.Text(at + 2));
  } else if (Is(m, "Open")) {
    r.Open(a.Text(at), Utf8(a.Text(at + 1)), a.Bool(at + 2));
  } else if (Is(m, "SetRequestHeader")) {
    r.SetRequestHeader(a.Text(at), a.Text(at + 1));
  } else if (Is(m, "Send")) {
    Send(r, a, at);
  } else {
    return false;
  }
  return true;
}

bool Call(void* instance, const char* m, const ArgumentView& a, uint32_t at, MethodResult* out) {
  WinHttpRequest& r = *static_cast<WinHttpRequest*>(instance);
  if (CallCommand(r, m, a, at)) return true;
  if (Is(m, "GetAllResponseHeaders") || Is(m, "StatusText")) {
    out->kind = MethodResult::Kind::kText;
    out->text = Is(m, "StatusText") ? r.StatusText() : r.GetAllResponseHeaders();
    return true;
  }
  if (Is(m, "Status")) {  // a number property: the application reads a double
    out->kind = MethodResult::Kind::kDouble;
    out->number = r.Status();
    return true;
  }
  if (Is(m, "Option")) {
    out->kind = MethodResult::Kind::kInt;
    out->integer = r.GetOption(a.Int(at));
    return true;
  }
  return false;
}

bool SetIndexed(void* instance, const char* property, int32_t index, const ArgumentView& args,
                uint32_t value) {
  if (!Is(property, "Option")) return false;
  static_cast<WinHttpRequest*>(instance)->SetOption(index, args.Int(value));
  return true;
}

bool GetProperty(void* instance, const char* property, Variant* out) {
  WinHttpRequest& r = *static_cast<WinHttpRequest*>(instance);
  if (Is(property, "ResponseBody")) {
    out->kind = Variant::Kind::kBytes;
    std::shared_ptr<const net::BodyBuffer> body = r.SharedResponseBody();
    if (body) out->bytes.share(body, body->data(), body->size());
    return true;
  }
  if (Is(property, "Status")) {
    out->kind = Variant::Kind::kNumber;
    out->number = r.Status();
    return true;
  }
  return false;
}

const ObjectClass kRequestClass = {REQUEST_PROG_ID, Create, Destroy, Call, SetIndexed, GetProperty};

}  // namespace

void RegisterRequestObjectClass() { RegisterObjectClass(&kRequestClass); }

}  // namespace tulora::rt
