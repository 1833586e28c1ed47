// Where the Windows executable carries the program image: the section the
// image assembler appends to the launcher (tools/peassemble) and the
// launcher finds at run time (launcher/main_win32.cc).
#ifndef TULORA_IMAGE_EXECUTABLE_LAYOUT_H
#define TULORA_IMAGE_EXECUTABLE_LAYOUT_H

#include <stdint.h>

namespace tulora {

// The image is the executable's last section, named ".data" like one of
// the sections before it, initialised data that is readable, writable and
// executable. The i686 launcher is linked with three sections
// (launcher/sections_i686.ld), so there the image is the fourth.
inline constexpr char IMAGE_SECTION_NAME[] = ".data";
inline constexpr uint32_t IMAGE_SECTION_CHARACTERISTICS = 0xE0000040;
inline constexpr uint32_t I686_IMAGE_SECTION_NUMBER = 4;

}  // namespace tulora

#endif  // TULORA_IMAGE_EXECUTABLE_LAYOUT_H
