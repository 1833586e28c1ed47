// Gallery folder names: a page title made safe to use as one folder name
// under the download root, the same way on every platform.
//
// Freestanding: <stdint.h> only.
#ifndef TULORA_CRAWLER_FOLDER_NAME_H
#define TULORA_CRAWLER_FOLDER_NAME_H

#include <stdint.h>

namespace tulora {

// The longest name a picture has in its folder: while it is written, the
// runtime's temporary file "." + "80.jpg" + "." + a process id of up to 10
// digits + a retry number ("." + up to 2 digits) + ".part"
// (runtime/kernel/file_commands.h), longer than "80.jpg" itself.
inline constexpr uint32_t LONGEST_PICTURE_FILE_NAME = 1 + 6 + 1 + 10 + 3 + 5;
// What the download root may take of the 260-character path limit of the
// platform the program was made for ("C:\...\Tulora").
inline constexpr uint32_t DOWNLOAD_ROOT_SHARE = 131;

// Longest folder name in bytes; a longer title is cut on a GBK character
// boundary. Leaves room under the path limit for the download root, the
// separators, the longest picture file name and the final zero, so that a
// picture whose temporary file would not fit never fails where its final
// name would: 260 - 131 - 1 - 1 - 26 - 1 = 100 bytes (each GBK character of
// one or two bytes is one character of the path).
inline constexpr uint32_t MAX_FOLDER_NAME_BYTES =
    260 - DOWNLOAD_ROOT_SHARE - 2 - LONGEST_PICTURE_FILE_NAME - 1;
static_assert(MAX_FOLDER_NAME_BYTES == 100);

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
