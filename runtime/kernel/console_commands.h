// The console commands' console: GBK texts out, one line at a time in. The
// back-end decides what the console takes (on Linux: UTF-8 both ways).
#ifndef TULORA_RUNTIME_KERNEL_CONSOLE_COMMANDS_H
#define TULORA_RUNTIME_KERNEL_CONSOLE_COMMANDS_H

#include <stdint.h>

#include <string>

namespace tulora::rt {

// Writes the text, whole, to the console. False on a write error (a closed
// console is not reported to the application).
bool WriteConsoleText(const char* gbkText);

// Reads one line from the console byte by byte (so nothing past the line is
// taken from the stream), without its "\n" and a "\r" right before it, as
// GBK. `atEnd` is set when the input has ended and no byte was read.
std::string ReadConsoleLine(bool* atEnd);

// For tests: the console becomes these two streams of the platform (file
// descriptors on Linux, handles on Windows) until UseProcessConsole().
typedef intptr_t ConsoleStream;
void UseConsoleStreams(ConsoleStream output, ConsoleStream input);
// The process's own standard output and input again.
void UseProcessConsole();

}  // namespace tulora::rt

#endif  // TULORA_RUNTIME_KERNEL_CONSOLE_COMMANDS_H
