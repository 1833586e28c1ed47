// The base URLs of the gallery site and of the picture host: scheme and
// host, optional port, no trailing slash. Fixed when the program is built
// (the build's TULORA_GALLERY_URL and TULORA_PICTURE_URL); the build writes
// their definitions.
#ifndef TULORA_CRAWLER_SITE_URLS_H
#define TULORA_CRAWLER_SITE_URLS_H

namespace tulora {

extern const char GALLERY_BASE_URL[];
extern const char PICTURE_BASE_URL[];

}  // namespace tulora

#endif  // TULORA_CRAWLER_SITE_URLS_H
