// How the application names the image's tables, and how those names reach
// the image linker.
//
// The DllFunctionTable (image/dll_table.def) and the LibraryTable
// (image/library_table.def) are declared once. Call sites write
//   TULORA_DLL_ENTRY(InternetOpenA)     a DllFunctionTable entry number
//   TULORA_LIBRARY(THREAD)              a LibraryTable row (THREAD, EXTRA)
//   TULORA_TYPE(LIB_VARIANT)            a library data type code
//                                       (LIB_OBJECT, LIB_OBJECT_BYREF,
//                                        LIB_VARIANT, LIB_VARIANT_BYREF)
// In hosted builds these are plain constants. In the image build
// (TULORA_IMAGE_BUILD, where this header is included ahead of every source)
// each is the address of a reserved undefined symbol, truncated to 32 bits:
// the compiler then emits an absolute 32-bit field naming the symbol, and
// the image linker writes the number into that field and lists the field in
// group 1, 2 or 3 of the LinkFixupList, so that the runtime can rewrite it
// at load. The linker learns which symbol stands for which number from the
// records of image/link_tables.cc, which only the image build compiles.
//
// Two more reserved symbols the linker resolves:
//   tulora_services     the runtime's ServiceTable (services.h)
//   tulora_empty_text   the empty text at const offset 8 (every "" literal
//                       lands there as well)
//
// Freestanding: <stdint.h> only.
#ifndef TULORA_IMAGE_LINK_SYMBOLS_H
#define TULORA_IMAGE_LINK_SYMBOLS_H

#include <stdint.h>

#include "image/commands.h"
#include "image/services.h"

// The library data types whose codes go through group 3, with their codes.
#define TULORA_LIBRARY_TYPES(X)    \
  X(LIB_OBJECT, 0x00010030u)       \
  X(LIB_OBJECT_BYREF, 0x20010030u) \
  X(LIB_VARIANT, 0x00010031u)      \
  X(LIB_VARIANT_BYREF, 0x20010031u)

namespace tulora {

// Records of the linker's table sections. Fixed-width texts, no pointers,
// so that the records need no relocation; all texts NUL-terminated.
struct LinkDllRecord {
  uint32_t entry;
  char symbol[48];
  char dllName[48];
  char functionName[48];
};
struct LinkLibraryRecord {
  uint32_t row;
  uint32_t major;
  uint32_t minor;
  char symbol[48];
  char name[32];
  char guid[36];
  char displayName[64];
};
struct LinkTypeRecord {
  uint32_t code;
  char symbol[48];
};

}  // namespace tulora

#define TULORA_LINK_DLL_SECTION ".tulora.dll_table"
#define TULORA_LINK_LIBRARY_SECTION ".tulora.library_table"
#define TULORA_LINK_TYPE_SECTION ".tulora.type_table"

#define TULORA_LINK_PASTE_(a, b) a##b
#define TULORA_LINK_PASTE(a, b) TULORA_LINK_PASTE_(a, b)
#define TULORA_LINK_TEXT_(a) #a
#define TULORA_LINK_TEXT(a) TULORA_LINK_TEXT_(a)

#if defined(TULORA_IMAGE_BUILD)

// The reserved symbols. They are never defined; only their addresses are
// used, as numbers.
extern "C" {
#define TULORA_DLL_ROW(id, entry, dll, function) extern const char tulora_dll_##id[];
#include "image/dll_table.def"
#define TULORA_LIBRARY_ROW(id, row, name, guid, major, minor, display) \
  extern const char tulora_library_##id[];
#include "image/library_table.def"
#define TULORA_LINK_TYPE_SYMBOL_(id, code) extern const char tulora_type_##id[];
TULORA_LIBRARY_TYPES(TULORA_LINK_TYPE_SYMBOL_)
#undef TULORA_LINK_TYPE_SYMBOL_
extern const char tulora_empty_text[];
}

#define TULORA_LINK_NUMBER_(symbol) (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(symbol)))
#define TULORA_DLL_ENTRY(id) TULORA_LINK_NUMBER_(tulora_dll_##id)
#define TULORA_LIBRARY(id) TULORA_LINK_NUMBER_(tulora_library_##id)
#define TULORA_TYPE(id) TULORA_LINK_NUMBER_(tulora_type_##id)

#else  // hosted

#define TULORA_LIBRARY(id) (static_cast<uint32_t>(::tulora::LIBRARY_##id))
#define TULORA_TYPE(id) (::tulora::LinkTypeCode_##id)
namespace tulora {
#define TULORA_LINK_TYPE_CODE_(id, code) inline constexpr uint32_t LinkTypeCode_##id = code;
TULORA_LIBRARY_TYPES(TULORA_LINK_TYPE_CODE_)
#undef TULORA_LINK_TYPE_CODE_
}  // namespace tulora
   // TULORA_DLL_ENTRY's hosted form is in image/dll_table.h.

#endif  // TULORA_IMAGE_BUILD

#endif  // TULORA_IMAGE_LINK_SYMBOLS_H
