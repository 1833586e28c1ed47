// Entry numbers of the declared DLL functions, from image/dll_table.def.
//
// Call sites write TULORA_DLL_ENTRY(MultiByteToWideChar). In hosted builds
// that is the plain entry number; the image build may define
// TULORA_DLL_ENTRY before including this header to route the number through
// a reserved symbol that the image linker turns into a link fix-up.
#ifndef TULORA_IMAGE_DLL_TABLE_H
#define TULORA_IMAGE_DLL_TABLE_H

#include <stdint.h>

namespace tulora {

enum DllEntry : uint32_t {
#define TULORA_DLL_ROW(id, entry, dll, function) DLL_ENTRY_##id = entry,
#include "image/dll_table.def"
  DLL_ENTRY_END_
};

inline constexpr uint32_t DLL_ENTRY_COUNT = DLL_ENTRY_END_;

}  // namespace tulora

#ifndef TULORA_DLL_ENTRY
#define TULORA_DLL_ENTRY(id) (static_cast<uint32_t>(::tulora::DLL_ENTRY_##id))
#endif

#endif  // TULORA_IMAGE_DLL_TABLE_H
