// File and directory commands. Paths arrive as GBK texts with "\" as the
// separator; the platform back-end turns them into its own paths.
#ifndef TULORA_RUNTIME_KERNEL_FILE_COMMANDS_H
#define TULORA_RUNTIME_KERNEL_FILE_COMMANDS_H

#include <stdint.h>

#include <string>

namespace tulora::rt {

// The platform path of a GBK path (on Linux: UTF-8, "\" turned into "/").
std::string NativePath(const char* gbkPath);

// The running directory as a GBK text without a trailing separator. On
// Linux it is the process's current directory; the root directory gives the
// empty text, so that joining "\name" to it names "/name".
std::string RunningDirectory();

// Creates one directory (its parent must exist). True only when it was
// created; an existing directory gives false, as on the platform the
// program was made for.
bool CreateDirectoryAt(const char* gbkPath);

// Makes the file hold exactly `length` bytes at `data`, creating or
// truncating it. True only when every byte was written.
bool WriteWholeFile(const char* gbkPath, const uint8_t* data, uint32_t length);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_FILE_COMMANDS_H
