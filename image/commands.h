// Command numbers of the runtime libraries and the contract of each command.
//
// Shared by the application (which calls them through CallKernelCommand and
// CallLibraryCommand, see services.h) and by the runtime (which implements
// them). Freestanding: <stdint.h> only.
//
// Conventions for every command:
// - Texts are NUL-terminated GBK; an absent text is passed as the empty text.
// - Positions are 1-based byte positions; "not found" is -1.
// - "space" means the ASCII space 0x20 only.
// - Returned texts, byte sets and arrays are new blocks from Allocate; the
//   caller releases them with Release.
// - An omitted optional argument is a record of three zero words; it reads
//   as 0 / false / the empty text.
// - Arrays are array values: u32 dimension count, u32 size per dimension,
//   then the elements (texts as pointers).
#ifndef TULORA_IMAGE_COMMANDS_H
#define TULORA_IMAGE_COMMANDS_H

#include <stdint.h>

namespace tulora {

// LibraryTable rows.
enum LibraryRow : uint32_t {
  LIBRARY_KERNEL = 0,  // "ostra"
  LIBRARY_THREAD = 1,  // "VThread"
  LIBRARY_EXTRA = 2,   // "xtra"
};

// Commands of the kernel library (CallKernelCommand).
enum KernelCommand : uint32_t {
  // --- console, numbers, files -------------------------------------------
  CMD_CONSOLE_WRITE = 1,      // (text) -> 0. Writes the text unchanged.
  CMD_CONSOLE_READ_LINE = 2,  // ([byref bool atEnd]) -> text without its line end;
                              //   atEnd set true when input has ended and no
                              //   byte was read.
  CMD_TEXT_TO_INT = 3,        // (text) -> int32. Leading spaces skipped, optional
                              //   sign, decimal digits up to the first non-digit;
                              //   no digits gives 0; saturates at the int32 range.
  CMD_NUMBER_TO_TEXT = 4,     // (double) -> text. Whole numbers in plain decimal
                              //   without fraction ("7284", "-3"); others with the
                              //   shortest decimal fraction that reads back.
  CMD_BYTES_TO_TEXT = 5,      // (bytes) -> text: the bytes up to the first zero.
  CMD_TEXT_TO_BYTES = 6,      // (text) -> bytes: the text's bytes, no terminator.
  CMD_RUNNING_DIRECTORY = 7,  // () -> text: the running directory, no trailing
                              //   separator.
  CMD_CREATE_DIRECTORY = 8,   // (text path) -> bool.
  CMD_WRITE_FILE = 9,         // (text path, bytes) -> bool: the whole file is the
                              //   byte set; true only when written whole.
  CMD_CONSOLE_FLUSH = 10,     // ([int stream]) -> 0. Flushes buffered console
                              //   output; the stream argument is accepted and
                              //   unused (all output is flushed).
  // A file written piece by piece; until it is finished and kept, its bytes
  // stand under another name in the same folder, and the file keeps what it
  // held before.
  CMD_FILE_STREAM_OPEN = 11,    // (text path) -> int32 stream, never 0; 0 when
                                //   it cannot be made.
  CMD_FILE_STREAM_APPEND = 12,  // (int stream, bytes) -> bool: false once any
                                //   write of the stream has failed.
  CMD_FILE_STREAM_FINISH = 13,  // (int stream, bool keep) -> bool: with keep,
                                //   the file takes the stream's bytes when all
                                //   were written; otherwise they are dropped.
                                //   True only when the file holds them.

  // --- texts -----------------------------------------------------------------
  CMD_LOWER = 20,          // (text) -> text, ASCII letters lowered; the
                           //   trail bytes of GBK characters stay as they are.
  CMD_UPPER = 21,          // (text) -> text, ASCII letters raised, likewise.
  CMD_LEFT = 22,           // (text, int n) -> text: first n bytes (n <= 0: "").
  CMD_RIGHT = 23,          // (text, int n) -> text: last n bytes (n <= 0: "").
  CMD_LENGTH = 24,         // (text) -> int32: length in bytes.
  CMD_FIND = 25,           // (text, sought, [int start], [bool ignoreCase]) ->
                           //   int32 position of the first occurrence at or
                           //   after start (start < 1 reads as 1), or -1. An
                           //   empty sought text is never found.
  CMD_FIND_LAST = 26,      // (text, sought, [bool ignoreCase]) -> int32
                           //   position of the last occurrence, or -1.
  CMD_TRIM = 27,           // (text) -> text without leading/trailing spaces.
  CMD_REMOVE_SPACES = 28,  // (text) -> text without any space.
  CMD_SPLIT = 29,          // (text, separator) -> array of texts. An empty
                           //   text gives no element; otherwise every
                           //   separator ends one piece (empty pieces kept,
                           //   a trailing separator gives no extra piece).
  CMD_REPLACE = 30,        // (text, sought, replacement, [bool ignoreCase])
                           //   -> text with every occurrence replaced, left
                           //   to right, without rescanning replacements.

  // --- objects (request object and variants) ---------------------------------
  CMD_OBJECT_CREATE = 40,       // (byref object, text progId) -> bool.
  CMD_OBJECT_CALL = 41,         // (object, text method, args...) -> result of the
                                //   method: a text for text results, an int32 or
                                //   double for numbers (see the object layer).
  CMD_OBJECT_SET_INDEXED = 42,  // (object, text property, index, value) -> 0.
  CMD_OBJECT_GET_VARIANT = 43,  // (object, text property, byref variant) -> bool.
  CMD_VARIANT_TO_BYTES = 44,    // (variant) -> bytes of a byte-array variant.
  CMD_BYTES_TO_VARIANT = 45,    // (bytes, byref variant) -> 0: byte-array variant.
  CMD_VARIANT_CLEAR = 46,       // (byref variant) -> 0.
  CMD_OBJECT_RELEASE = 47,      // (byref object) -> 0: drops one reference.
};

// Commands of the multi-thread support library (row LIBRARY_THREAD).
enum ThreadCommand : uint32_t {
  CMD_THREAD_START = 1,  // (routine, [int argument], [byref int handle]) -> bool.
};

// Commands of the miscellaneous support library (row LIBRARY_EXTRA).
enum ExtraCommand : uint32_t {
  CMD_PAUSE = 1,  // (int milliseconds) -> 0.
};

}  // namespace tulora

#endif  // TULORA_IMAGE_COMMANDS_H
