// Console commands: write a GBK text (shown as UTF-8) and read one line
// (UTF-8 input handed back as GBK).
#ifndef TULORA_RUNTIME_CONSOLE_COMMANDS_H
#define TULORA_RUNTIME_CONSOLE_COMMANDS_H

#include <string>

namespace tulora::rt {

// Writes the text converted to UTF-8, whole, to `fd`. False on a write
// error (a closed console is not reported to the application).
bool WriteConsoleText(int fd, const char* gbkText);

// Reads one line from `fd` byte by byte (so nothing past the line is taken
// from the stream), without its "\n" and a "\r" right before it, converted
// to GBK. `atEnd` is set when the input has ended and no byte was read.
std::string ReadConsoleLine(int fd, bool* atEnd);

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_CONSOLE_COMMANDS_H
