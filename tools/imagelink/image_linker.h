// The image linker: turns the relocatable object that `ld -r` makes of the
// application into a ProgramImage.
//
//   .text*                 -> "code" (flags 5)
//   .rodata* (texts split  -> "const" (flags 1): offset 8 is the empty text;
//    and stored once)         texts are stored once; the DLL table's names
//                             follow at the end
//   .bss*, common symbols  -> "var" (flags 0x13, nothing stored)
//   .tulora.*_table        -> the LibraryTable, DllFunctionTable and the
//                             reserved symbols of the LinkFixupList groups
//                             (records of image/link_tables.cc; dropped)
//   "form", "help"         -> 4 and 56 zero bytes
//   "@reloc1"              -> the LinkFixupList
//
// Fields of the code:
//   absolute 32-bit (R_386_32, R_X86_64_32, R_X86_64_32S)
//       -> CodeRelocation kinds 0 services, 1 const, 2 var, 3 code, the
//          field holding the offset within that segment (plus the addend);
//          a reserved table symbol instead gets its number written and the
//          field listed in LinkFixupList group 1 (DLL entry), 2 (library
//          row) or 3 (library data type)
//   PC-relative (R_386_PC32/PLT32, R_X86_64_PC32/PLT32)
//       -> to code: resolved here;
//          x86-64 to services, const or var: kinds 4, 5, 6, the field
//          holding (target offset + addend - field offset), to which the
//          runtime adds (target base - code base); i386: refused.
//
// Everything else is refused with an error that names the symbol and the
// section: initialised writable data, relocations inside const data,
// thread-local data, constructor and destructor arrays, undefined symbols
// other than the reserved ones, other relocation types.
//
// Notes and unwind tables (.eh_frame, which the freestanding flags do not
// produce) are dropped with their relocations; non-allocated sections
// (symbols, comments, debug information) are not part of the image.
//
// Each section keeps its alignment within its segment (at most 4096), so
// the runtime must place every segment at a 4096-byte boundary.
#ifndef TULORA_TOOLS_IMAGELINK_IMAGE_LINKER_H
#define TULORA_TOOLS_IMAGELINK_IMAGE_LINKER_H

#include <string>

#include "image/image_format.h"
#include "tools/imagelink/elf_object.h"

namespace tulora::imagelink {

inline constexpr char ENTRY_SYMBOL[] = "TuloraEntry";
inline constexpr char SERVICES_SYMBOL[] = "tulora_services";
inline constexpr char EMPTY_TEXT_SYMBOL[] = "tulora_empty_text";
inline constexpr uint32_t EMPTY_TEXT_OFFSET = 8;
inline constexpr uint64_t MAX_SECTION_ALIGN = 4096;

// Links `object` into `out`. On failure returns false with the reason in
// `error`.
bool LinkImage(const ElfObject& object, image::ProgramImage& out, std::string& error);

}  // namespace tulora::imagelink

#endif  // TULORA_TOOLS_IMAGELINK_IMAGE_LINKER_H
