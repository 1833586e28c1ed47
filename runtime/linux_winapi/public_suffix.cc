#include "runtime/linux_winapi/public_suffix.h"

#include <libpsl.h>

namespace tulora::net {
namespace {

// Never freed: the list is the process's, asked from any thread.
const psl_ctx_t* List() {
  static const psl_ctx_t* const list = [] {
    const psl_ctx_t* latest = psl_latest(nullptr);  // the newer of the file and the built-in
    return latest != nullptr ? latest : psl_builtin();
  }();
  return list;
}

}  // namespace

bool IsPublicSuffix(const std::string& domain) {
  const psl_ctx_t* list = List();
  return list == nullptr || psl_is_public_suffix2(list, domain.c_str(), PSL_TYPE_ANY) != 0;
}

}  // namespace tulora::net
