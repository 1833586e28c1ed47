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

// Files written piece by piece: a stream opened on a path, bytes appended
// to it, then finished. The bytes go into a new temporary file in the same
// folder, named "." + the file's name + "." + the process id + ".part"
// (never a name the program gives a file of its own); where something
// stands under that name already, it is left alone and the name gets a
// number before ".part" (".3.jpg.4711.1.part", and so on). One rename
// then puts in the file's place when the stream is finished and kept: the
// file holds either all the new bytes or what it held before, never part
// of them. A stream that is abandoned, or whose rename fails, removes its
// temporary file. A stream is used by one thread at a time.
//
// OpenFileStream: the stream's number, never 0; 0 when its temporary file
// cannot be made (no such folder, say).
int32_t OpenFileStream(const char* gbkPath);
// False when the stream is unknown or this or an earlier write failed.
bool AppendToFileStream(int32_t stream, const uint8_t* data, uint32_t length);
// With `keep`, puts the file in place when every write succeeded;
// otherwise removes the temporary file. True only when the file now holds
// the stream's bytes.
bool FinishFileStream(int32_t stream, bool keep);

// The process-end path: removes the temporary files of the streams still
// under way on other threads, and makes every later stream fail. Called
// once, right before the process ends; it does not return the streams'
// lock, so no stream can create or rename a file after it.
void AbandonUnfinishedWrites();

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_FILE_COMMANDS_H
