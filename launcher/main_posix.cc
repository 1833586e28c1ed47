// The executable's start: hands the embedded program image to the start
// routine. The process exits with code 0 whatever happened.
#include "launcher/platform.h"
#include "launcher/start.h"

extern "C" const unsigned char tulora_program_image[];

int main() {
  return tulora::launcher::StartRoutine(tulora::launcher::HostPlatform(), tulora_program_image);
}
