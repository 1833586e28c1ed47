// Gallery folder names: a page title made safe to use as one folder name
// under the download root, the same way on every platform.
//
// Freestanding: <stdint.h> only.
#ifndef TULORA_CRAWLER_FOLDER_NAME_H
#define TULORA_CRAWLER_FOLDER_NAME_H

#include <stdint.h>

namespace tulora {

// Longest folder name in bytes; a longer title is cut on a GBK character
// boundary. Leaves room under the 260-byte path limit of the platform the
// program was made for, for the download root and "\<n>.jpg".
inline constexpr uint32_t MAX_FOLDER_NAME_BYTES = 120;

// A new text: the folder name for a gallery whose page gave `title` (GBK).
// - Characters that Windows file names may not hold (< > : " / \ | ? *)
//   and control characters become "_". Double-byte GBK characters are kept
//   whole; a lead byte without its trail byte becomes "_".
// - The name is cut to MAX_FOLDER_NAME_BYTES on a character boundary, then
//   trailing dots and spaces go.
// - A reserved device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, any
//   letter case, alone or before a dot) gets a "_" in front.
// - A name that ends up empty (an empty title, ".", "..", only dots and
//   spaces) is `galleryNumber` instead.
// Ordinary titles come back unchanged.
char* SafeFolderName(const char* title, const char* galleryNumber);

}  // namespace tulora

#endif  // TULORA_CRAWLER_FOLDER_NAME_H
