#include "crawler/program_values.h"

namespace tulora {

char* DownloadRoot;
int32_t StartId;
int32_t GalleryCount;

}  // namespace tulora
