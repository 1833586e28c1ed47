// The peer of the launcher benchmark: an executable that writes one byte
// and ends.
#include <unistd.h>

int main() { return write(STDOUT_FILENO, "x", 1) == 1 ? 0 : 1; }
