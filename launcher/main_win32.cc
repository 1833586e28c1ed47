// The Windows executable's start: hands the program image, the
// executable's last section (image/executable_layout.h), to the start
// routine. The process exits with code 0 whatever happened.
#include <windows.h>

#include "image/executable_layout.h"
#include "launcher/platform.h"
#include "launcher/start.h"

// The executable's own module: its headers as the system mapped them.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// The mapped image section. The system has checked the headers before the
// process started; the kernel library checks the image itself.
const void* ProgramImageSection() {
  const auto* base = reinterpret_cast<const unsigned char*>(&__ImageBase);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + __ImageBase.e_lfanew);
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  return base + sections[nt->FileHeader.NumberOfSections - 1].VirtualAddress;
}

}  // namespace

int main() {
  return tulora::launcher::StartRoutine(tulora::launcher::HostPlatform(), ProgramImageSection());
}
