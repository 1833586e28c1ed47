// The application's entry routine and the main routine it runs.
#ifndef TULORA_CRAWLER_ENTRY_H
#define TULORA_CRAWLER_ENTRY_H

#include <stdint.h>

#include "image/services.h"

namespace tulora {

// The main routine; its result is not used.
int32_t ConsoleMain();

// True while the crawl thread has been started and has not finished.
bool CrawlMayStillRun();

// Releases DownloadRoot when present and no crawl can still use it (a crawl
// still running when the program ends keeps it; the process takes it back).
// Handed to the runtime at start; the runtime calls it when the program
// ends, never the application itself.
TULORA_CALL void ReleaseGlobals();

}  // namespace tulora

// The routine the runtime starts: registers ReleaseGlobals, runs
// ConsoleMain, makes the after-main call and ends the program with exit
// code 0. It does not return.
extern "C" TULORA_CALL void TuloraEntry();

#endif  // TULORA_CRAWLER_ENTRY_H
