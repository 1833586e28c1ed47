/* The Windows names codepage_probe.c uses, over the runtime's conversion
 * (codepage_shim.cc), for the native build of the probe. */
#ifndef TULORA_SCRIPTS_PROBES_CODEPAGE_SHIM_H
#define TULORA_SCRIPTS_PROBES_CODEPAGE_SHIM_H

#include <stddef.h>
#include <stdint.h>

typedef uint16_t WCHAR;
typedef unsigned int UINT;
typedef unsigned long DWORD;
typedef int BOOL;

#ifdef __cplusplus
extern "C" {
#endif
int MultiByteToWideChar(UINT cp, DWORD flags, const char* src, int srcLen, WCHAR* dst, int dstLen);
int WideCharToMultiByte(UINT cp, DWORD flags, const WCHAR* src, int srcLen, char* dst, int dstLen,
                        const char* defaultChar, BOOL* usedDefault);
/* The runtime's conversion keeps no last error: always 0. */
void SetLastError(DWORD code);
DWORD GetLastError(void);
#ifdef __cplusplus
}
#endif

#endif
