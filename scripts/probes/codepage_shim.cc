// The probe's Windows functions over the runtime's conversion.
#include "codepage_shim.h"

#include "runtime/text/codepage.h"

extern "C" {

int MultiByteToWideChar(UINT cp, DWORD flags, const char* src, int srcLen, WCHAR* dst, int dstLen) {
  return tulora::CpMultiByteToWideChar(cp, static_cast<uint32_t>(flags), src, srcLen, dst, dstLen);
}

int WideCharToMultiByte(UINT cp, DWORD flags, const WCHAR* src, int srcLen, char* dst, int dstLen,
                        const char* defaultChar, BOOL* usedDefault) {
  int32_t used = 0;
  const int r =
      tulora::CpWideCharToMultiByte(cp, static_cast<uint32_t>(flags), src, srcLen, dst, dstLen,
                                    defaultChar, usedDefault != nullptr ? &used : nullptr);
  if (usedDefault != nullptr) *usedDefault = used;
  return r;
}

void SetLastError(DWORD) {}
DWORD GetLastError(void) { return 0; }

}  // extern "C"
