// The program-wide values: what the main routine asks for and the crawl
// works through. Zero at start (the image's var segment); the entry routine
// releases DownloadRoot when the program ends (ReleaseGlobals, entry.h).
//
// Freestanding: <stdint.h> only.
#ifndef TULORA_CRAWLER_PROGRAM_VALUES_H
#define TULORA_CRAWLER_PROGRAM_VALUES_H

#include <stdint.h>

namespace tulora {

extern char* DownloadRoot;  // owned by the program
extern int32_t StartId;
extern int32_t GalleryCount;

}  // namespace tulora

#endif  // TULORA_CRAWLER_PROGRAM_VALUES_H
