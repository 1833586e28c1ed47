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
// replacing it. True only when every byte was written. The bytes go into a
// temporary file in the same folder, named "." + the file's name + "." +
// the process id + ".part" (never a name the program gives a file of its
// own), which one rename then puts in the file's place: the file holds
// either all the new bytes or what it held before, never part of them. A
// failed write removes its temporary file.
bool WriteWholeFile(const char* gbkPath, const uint8_t* data, uint32_t length);

// The process-end path: removes the temporary file of a write still under
// way on another thread, and makes every later write fail. Called once,
// right before the process ends; it does not return the writes' lock, so
// no write can create or rename a file after it.
void AbandonUnfinishedWrites();

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_FILE_COMMANDS_H
