// The application's calls of the runtime for the console, files,
// directories, threads and pauses, through tulora_services.
//
// Texts are GBK; paths use "\" as the separator. Every returned text is new
// and belongs to the caller. Freestanding: <stdint.h> level only.
#ifndef TULORA_IMAGE_SYSTEM_CALLS_H
#define TULORA_IMAGE_SYSTEM_CALLS_H

#include <stdint.h>

#include "image/services.h"
#include "image/values.h"

namespace tulora {

// Writes the text to the console unchanged (no line end is added).
void RtConsoleWrite(const char* text);
// One line from the console without its line end. When `atEnd` is given it
// is set to true when the input has ended and nothing was read.
char* RtConsoleReadLine(bool* atEnd = nullptr);

// The program's running directory, without a trailing separator.
char* RtRunningDirectory();
// Creates one directory; true when it was created.
bool RtCreateDirectory(const char* path);
// A file written piece by piece: until the stream is finished and kept, its
// bytes stand under another name in the same folder and the file keeps
// what it held. RtOpenFileStream gives the stream's number, 0 when it
// cannot be made; RtAppendToFileStream is false once a write of the stream
// has failed; RtFinishFileStream is true only when the file holds the
// stream's bytes (never without `keep`).
int32_t RtOpenFileStream(const char* path);
bool RtAppendToFileStream(int32_t stream, const ByteSet* bytes);
bool RtFinishFileStream(int32_t stream, bool keep);

// Starts a thread of the multi-thread support library running `routine`,
// with no argument and no handle kept. True when it started.
bool RtStartThread(ApplicationRoutine routine);
// The same with an argument for the routine and the thread's handle
// written back into `*handle` (when not null).
bool RtStartThreadWith(ApplicationRoutine routine, int32_t argument, int32_t* handle);

// Pauses the calling thread (support library of miscellaneous functions).
void RtPause(int32_t milliseconds);

}  // namespace tulora

#endif  // TULORA_IMAGE_SYSTEM_CALLS_H
