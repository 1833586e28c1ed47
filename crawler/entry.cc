#include "crawler/entry.h"

#include "crawler/program_values.h"

namespace tulora {

TULORA_CALL void ReleaseGlobals() {
  if (DownloadRoot != nullptr && !CrawlMayStillRun()) {
    tulora_services.Release(DownloadRoot);
    DownloadRoot = nullptr;
  }
}

}  // namespace tulora

extern "C" TULORA_CALL void TuloraEntry() {
  using namespace tulora;
  tulora_services.ProgramControl(CONTROL_RELEASE_GLOBALS,
                                 reinterpret_cast<uintptr_t>(&ReleaseGlobals), 0);
  ConsoleMain();
  tulora_services.FinishMain();
  tulora_services.ExitProgram(0);
}
