// The kernel library's text and number commands, as image/commands.h
// documents them (CMD_TEXT_TO_INT .. CMD_TEXT_TO_BYTES, CMD_LOWER ..
// CMD_REPLACE).
//
// Texts are GBK and are handled character by character where it matters:
// - case mapping (lower, upper, the ignore-case flag of find) touches only
//   ASCII letters that are characters by themselves; the trail byte of a
//   double-byte character (lead 0x81..0xFE, trail 0x40..0xFE except 0x7F) is
//   never changed or folded;
// - find, find-last, split and replace match only at character boundaries,
//   so "A" is not found inside a double-byte character whose trail byte is
//   0x41;
// - left, right and length count bytes, as positions do everywhere.
// "Space" is the ASCII space 0x20 only.
//
// Decisions where commands.h leaves room:
// - split with an empty separator gives the whole text as one piece;
// - replace with an empty sought text returns a copy of the text;
// - number-to-text writes NaN as "nan" and infinities as "inf"/"-inf", and
//   -0 as "0";
// - an argument of an unexpected type reads as omitted (0, false, "").
#ifndef TULORA_RUNTIME_TEXT_TEXT_COMMANDS_H
#define TULORA_RUNTIME_TEXT_TEXT_COMMANDS_H

#include <stdint.h>

#include "image/services.h"

namespace tulora {

// Where the commands take their result blocks from; normally the runtime's
// own Allocate/Release, so the application can release what it gets.
struct TextCommandAllocator {
  void* (*allocate)(uint32_t size);  // never returns null
  void (*release)(void* block);
};

// Runs `command` on `args` (null reads as no argument). Returns false and
// leaves *result unchanged when `command` is not one of the commands above;
// otherwise stores the command's result (a pointer, an int32 zero-extended,
// or the bits of a double) and returns true.
bool RunTextCommand(uint32_t command, ArgumentList* args, CommandResult* result,
                    const TextCommandAllocator& allocator);

}  // namespace tulora

#endif  // TULORA_RUNTIME_TEXT_TEXT_COMMANDS_H
