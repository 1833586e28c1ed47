#include "runtime/linux_winapi/dll_wininet.h"

#include "runtime/linux_winapi/wininet.h"

namespace tulora::rt {
namespace {

uint32_t U32(Word w) { return static_cast<uint32_t>(w); }
const char* Text(Word w) { return reinterpret_cast<const char*>(w); }
Word Bool(int32_t b) { return static_cast<uint32_t>(b); }

}  // namespace

Word DllInternetOpenA(Word agent, Word accessType, Word proxy, Word proxyBypass, Word flags) {
  return net::InternetOpenA(Text(agent), U32(accessType), Text(proxy), Text(proxyBypass),
                            U32(flags));
}

Word DllInternetCloseHandle(Word handle) { return Bool(net::InternetCloseHandle(handle)); }

Word DllInternetConnectA(Word session, Word server, Word port, Word user, Word password,
                         Word service, Word flags, Word context) {
  return net::InternetConnectA(session, Text(server), static_cast<uint16_t>(port), Text(user),
                               Text(password), U32(service), U32(flags), context);
}

Word DllHttpOpenRequestA(Word connection, Word verb, Word object, Word version, Word referrer,
                         Word acceptTypes, Word flags, Word context) {
  return net::HttpOpenRequestA(connection, Text(verb), Text(object), Text(version), Text(referrer),
                               reinterpret_cast<const char* const*>(acceptTypes), U32(flags),
                               context);
}

Word DllHttpSendRequestA(Word request, Word headers, Word headersLength, Word optional,
                         Word optionalLength) {
  return Bool(net::HttpSendRequestA(request, Text(headers), U32(headersLength),
                                    reinterpret_cast<const void*>(optional), U32(optionalLength)));
}

Word DllInternetReadFile(Word handle, Word buffer, Word toRead, Word read) {
  return Bool(net::InternetReadFile(handle, reinterpret_cast<void*>(buffer), U32(toRead),
                                    reinterpret_cast<uint32_t*>(read)));
}

Word DllHttpQueryInfoA(Word request, Word infoLevel, Word buffer, Word length, Word index) {
  return Bool(net::HttpQueryInfoA(request, U32(infoLevel), reinterpret_cast<void*>(buffer),
                                  reinterpret_cast<uint32_t*>(length),
                                  reinterpret_cast<uint32_t*>(index)));
}

}  // namespace tulora::rt
