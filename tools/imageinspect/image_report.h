// Describes a program image as text: the header, the library table, the DLL
// table row for row, the segments in chain order, the code relocations
// counted by kind and the link fix-up groups with the number each field
// holds. Bytes outside printable ASCII are shown as \xNN, so GBK texts
// print the same on every console.
#ifndef TULORA_TOOLS_IMAGEINSPECT_IMAGE_REPORT_H
#define TULORA_TOOLS_IMAGEINSPECT_IMAGE_REPORT_H

#include <cstdint>
#include <span>
#include <string>

#include "image/image_format.h"

namespace tulora::imageinspect {

std::string DescribeImage(const image::ProgramImage& image);

// The program image a file holds: a Windows executable's image section
// (its last, image/executable_layout.h), or the whole file when it is no
// Windows executable. `where` says which; false with `error` set when an
// executable has no such section.
bool ImageBytesOfFile(std::span<const uint8_t> file, std::span<const uint8_t>& image,
                      std::string& where, std::string& error);

// A text in double quotes with \xNN for bytes outside 0x20-0x7E and \\, \".
std::string QuoteText(const std::string& text);

}  // namespace tulora::imageinspect

#endif  // TULORA_TOOLS_IMAGEINSPECT_IMAGE_REPORT_H
