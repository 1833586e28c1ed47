#include "runtime/kernel/platform.h"

#include <dlfcn.h>
#include <inttypes.h>

#include <cstdio>
#include <cstring>

namespace tulora::rt {
namespace {

struct Mapping {
  uintptr_t begin, end;
  bool readable;
};

bool NextMapping(FILE* maps, Mapping* m) {
  char line[512];
  if (fgets(line, sizeof line, maps) == nullptr) return false;
  uintmax_t begin = 0, end = 0;
  char perms[8] = "";
  if (sscanf(line, "%jx-%jx %7s", &begin, &end, perms) != 3) return false;
  // A line longer than the buffer: skip the rest of it.
  while (std::strchr(line, '\n') == nullptr && fgets(line, sizeof line, maps) != nullptr) {
  }
  m->begin = static_cast<uintptr_t>(begin);
  m->end = static_cast<uintptr_t>(end);
  m->readable = perms[0] == 'r';
  return true;
}

}  // namespace

size_t ReadableBytesAt(const void* address, size_t limit) {
  FILE* maps = fopen("/proc/self/maps", "re");
  if (maps == nullptr) return 0;
  uintptr_t at = reinterpret_cast<uintptr_t>(address);
  uintptr_t end = 0;  // end of the readable run holding `at`, once found
  Mapping m;
  while (NextMapping(maps, &m)) {
    if (end == 0 && m.readable && m.begin <= at && at < m.end) {
      end = m.end;
    } else if (end != 0 && m.readable && m.begin == end) {
      end = m.end;
    } else if (end != 0) {
      break;
    }
    if (end != 0 && end - at >= limit) break;
  }
  fclose(maps);
  if (end == 0) return 0;
  size_t extent = end - at;
  return extent < limit ? extent : limit;
}

std::string DirectoryOf(const void* symbol) {
  Dl_info info{};
  if (dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) return std::string();
  std::string path = info.dli_fname;
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

LibraryCommandEntry LoadSupportLibrary(const std::string& directory, const std::string& name,
                                       std::string& error) {
  std::string path = directory + "/" + name + LIBRARY_FILE_SUFFIX;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    error = "support library '" + name + "' cannot be loaded: " + (why ? why : path);
    return nullptr;
  }
  void* entry = dlsym(handle, LIBRARY_ENTRY_NAME);
  if (entry == nullptr) {
    error = "support library '" + name + "' has no " + LIBRARY_ENTRY_NAME;
    dlclose(handle);
    return nullptr;
  }
  return reinterpret_cast<LibraryCommandEntry>(entry);
}

}  // namespace tulora::rt
