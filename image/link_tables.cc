// The image's tables as records for the image linker (see link_symbols.h).
// Compiled into the image build only: the linker reads these sections,
// stores the tables in the image and drops the records themselves.
#include "image/link_symbols.h"

namespace tulora {
namespace {

#define TULORA_USED_IN(name) __attribute__((section(name), used))

TULORA_USED_IN(TULORA_LINK_DLL_SECTION)
const LinkDllRecord kDllRecords[] = {
#define TULORA_DLL_ROW(id, entry, dll, function) \
  {entry, TULORA_LINK_TEXT(TULORA_LINK_PASTE(tulora_dll_, id)), dll, function},
#include "image/dll_table.def"
};

TULORA_USED_IN(TULORA_LINK_LIBRARY_SECTION)
const LinkLibraryRecord kLibraryRecords[] = {
#define TULORA_LIBRARY_ROW(id, row, name, guid, major, minor, display)            \
  {row,  major, minor,  TULORA_LINK_TEXT(TULORA_LINK_PASTE(tulora_library_, id)), \
   name, guid,  display},
#include "image/library_table.def"
};

TULORA_USED_IN(TULORA_LINK_TYPE_SECTION)
const LinkTypeRecord kTypeRecords[] = {
#define TULORA_LINK_TYPE_RECORD_(id, code) {code, "tulora_type_" #id},
    TULORA_LIBRARY_TYPES(TULORA_LINK_TYPE_RECORD_)
#undef TULORA_LINK_TYPE_RECORD_
};

}  // namespace
}  // namespace tulora
