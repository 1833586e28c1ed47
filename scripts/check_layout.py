#!/usr/bin/env python3
"""Checks the source layout rules that the build cannot see.

    python3 scripts/check_layout.py [ROOT]

- Every runtime source lies in one of the runtime's library folders.
- No file under runtime/linux_winapi carries a platform suffix.
- Every NAME_posix.cc / NAME_win32.cc is the back-end of a header NAME.h
  beside it (the launcher's main routines aside).
- No platform-neutral runtime file includes a POSIX-only or Windows-only
  header.
- No include points up: base, memory and text include nothing of kernel,
  libraries or linux_winapi; kernel and libraries nothing of linux_winapi.
Prints every breach and exits 1 when there is one.
"""
import pathlib
import re
import sys

FOLDERS = ("base", "kernel", "memory", "text", "libraries", "linux_winapi")
BACKEND = re.compile(r"^(?P<name>.+)_(posix|win32)\.cc$")
SUFFIXED = re.compile(r"_(posix|win32)(_test)?\.(cc|h)$")
PLATFORM_HEADERS = re.compile(
    r'#include <(unistd|pthread|fcntl|dlfcn|strings|malloc|windows|winsock2|io|direct)\.h>'
    r'|#include <sys/')
INCLUDE = re.compile(r'#include "runtime/([a-z_]+)/')
MAY_NOT_INCLUDE = {
    "base": {"kernel", "libraries", "linux_winapi", "memory", "text"},
    "memory": {"kernel", "libraries", "linux_winapi", "text"},
    "text": {"kernel", "libraries", "linux_winapi", "memory"},
    "kernel": {"libraries", "linux_winapi"},
    "libraries": {"kernel", "linux_winapi"},
    "linux_winapi": {"libraries"},
}
MAIN_ROUTINES = {"launcher/main_posix.cc", "launcher/main_win32.cc"}
SOURCE_SUFFIXES = (".cc", ".h", ".inc", ".S")


def breaches(root):
    runtime = root / "runtime"
    for path in sorted(runtime.rglob("*")):
        if not path.is_file() or path.suffix not in SOURCE_SUFFIXES:
            continue
        rel = path.relative_to(runtime)
        if len(rel.parts) != 2 or rel.parts[0] not in FOLDERS:
            yield f"runtime/{rel}: not in one of the folders {', '.join(FOLDERS)}"
            continue
        folder = rel.parts[0]
        if folder == "linux_winapi" and SUFFIXED.search(path.name):
            yield f"runtime/{rel}: a Linux-only file carries a platform suffix"
        text = path.read_text(encoding="utf-8", errors="replace")
        if folder != "linux_winapi" and not SUFFIXED.search(path.name):
            for match in PLATFORM_HEADERS.finditer(text):
                yield f"runtime/{rel}: neutral file includes {match.group(0)[9:]}"
        for match in INCLUDE.finditer(text):
            if match.group(1) in MAY_NOT_INCLUDE[folder]:
                yield f"runtime/{rel}: includes runtime/{match.group(1)}/"
    for path in sorted(root.rglob("*.cc")):
        rel = path.relative_to(root).as_posix()
        if rel.startswith("build") or rel in MAIN_ROUTINES:
            continue
        match = BACKEND.match(path.name)
        if match and not (path.parent / (match.group("name") + ".h")).is_file():
            yield f"{rel}: a back-end without its neutral header {match.group('name')}.h"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = list(breaches(root))
    for line in found:
        print(line)
    print(f"layout: {len(found)} breach(es)")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
