#!/usr/bin/env python3
"""Tells a crash of wine's own code from one of the program's.

    tests/windows/wine_crash.py OUTPUT PE_FILE...

OUTPUT is what a run under wine wrote; wine reports a crash there as
"Unhandled page fault ... at address X". Prints the addresses when there
is at least one crash and every one lies in wine's own code: not below
2 GiB (where the runtime places the program image) and not inside any of
the PE files given (the launcher and the runtime's libraries, at the image
bases they are built for, where wine loads them). Prints nothing for no
crash, or when one crash is the program's.

Wine 8's request object has races of its own between its thread-pool
tasks and the object's release: a task writes into an object the caller
has released (seen with WINEDEBUG=+winhttp: the data-available task writes
the byte count into the freed request), or releases the connection a
second time (a backtrace through winhttp's task_callback, release_task,
request_destroy, connect_destroy into the heap). Under 64-bit wine they end
a run now and then, more often on a loaded machine.
"""
import re
import struct
import sys

CRASH = re.compile(r'Unhandled page fault on \w+ access to [0-9A-Fa-f]+ at address ([0-9A-Fa-f]+)')
PROGRAM_MEMORY_END = 1 << 31


def extent(path):
    """(base, size) of a PE file as built."""
    with open(path, 'rb') as f:
        data = f.read(4096)
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    opt = pe + 24
    wide = struct.unpack_from('<H', data, opt)[0] == 0x20B
    base = struct.unpack_from('<Q' if wide else '<I', data, opt + (24 if wide else 28))[0]
    return base, struct.unpack_from('<I', data, opt + 56)[0]


def main():
    text = open(sys.argv[1], errors='replace').read()
    crashes = sorted({int(a, 16) for a in CRASH.findall(text)})
    ours = [extent(p) for p in sys.argv[2:]]
    def wines(at):
        return at >= PROGRAM_MEMORY_END and not any(b <= at < b + s for b, s in ours)
    if crashes and all(wines(at) for at in crashes):
        print(' '.join(hex(at) for at in crashes))
    return 0


if __name__ == '__main__':
    sys.exit(main())
