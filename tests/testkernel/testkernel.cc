// A kernel library for the launcher's tests.
//
// TESTKERNEL_RECORDING: GetNewSock(1000) returns an entry that appends one
//   line to the file named by $TULORA_TESTKERNEL_LOG: the version it was
//   asked for, the first 64 bytes of the program image in hex and the
//   library's own path; then prints "testkernel: entry" on stdout.
// TESTKERNEL_REFUSING: GetNewSock returns null for every argument.
// TESTKERNEL_NOEXPORT: exports no GetNewSock at all.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "launcher/start.h"

namespace {

int32_t g_askedVersion = 0;

int RecordingEntry(const void* image) {
  const char* logPath = std::getenv("TULORA_TESTKERNEL_LOG");
  if (logPath != nullptr) {
    if (FILE* log = std::fopen(logPath, "a")) {
      Dl_info info{};
      dladdr(reinterpret_cast<void*>(&RecordingEntry), &info);
      std::fprintf(log, "version=%d image=", g_askedVersion);
      const auto* bytes = static_cast<const unsigned char*>(image);
      for (int i = 0; i < 64; ++i) std::fprintf(log, "%02x", bytes[i]);
      std::fprintf(log, " library=%s\n", info.dli_fname ? info.dli_fname : "?");
      std::fclose(log);
    }
  }
  std::printf("testkernel: entry\n");
  return 7;  // ignored by the launcher
}

}  // namespace

#if defined(TESTKERNEL_RECORDING)
extern "C" __attribute__((visibility("default"))) tulora::launcher::RuntimeEntry GetNewSock(
    int32_t version) {
  g_askedVersion = version;
  return version == tulora::launcher::KERNEL_INTERFACE_VERSION ? &RecordingEntry : nullptr;
}
#elif defined(TESTKERNEL_REFUSING)
extern "C" __attribute__((visibility("default"))) tulora::launcher::RuntimeEntry GetNewSock(
    int32_t) {
  return nullptr;
}
#else
extern "C" __attribute__((visibility("default"))) int SomethingElse() {
  return RecordingEntry(nullptr);
}
#endif
