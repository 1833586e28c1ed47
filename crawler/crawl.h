// The crawl: gallery after gallery, the item page, the title, the folder
// and pictures 1 to PICTURES_PER_GALLERY, with a pause after every picture
// and every gallery.
//
// Freestanding: <stdint.h> only.
#ifndef TULORA_CRAWLER_CRAWL_H
#define TULORA_CRAWLER_CRAWL_H

#include <stdint.h>

namespace tulora {

inline constexpr int32_t PICTURES_PER_GALLERY = 80;
inline constexpr int32_t CRAWL_PAUSE_MS = 1000;
inline constexpr int32_t SUCCESS_STATUS = 200;

// The crawl of StartId .. StartId + GalleryCount - 1 into DownloadRoot
// (program_values.h).
// Lowers StartId by one when it starts. Runs on the crawl thread.
void CrawlGalleries();

// The status code in the status line of a raw response header block
// ("HTTP/1.1 200 OK\r\n..."): the three digits after the first space of a
// block that starts with "HTTP/"; 0 when there is no such status line (null,
// empty, no "HTTP/", no space, a code of other than three digits).
int32_t StatusOfHeaderBlock(const char* headers);

// True when the header block announces a Content-Length that differs from
// `bodyLength` (a body cut off on the way). The first line named
// Content-Length counts, in any letter case; its value is decimal digits
// between blanks. A value that is no such number announces nothing (false);
// one beyond 32 bits differs from every length.
bool BodyIsShort(const char* headers, uint32_t bodyLength);

}  // namespace tulora

#endif  // TULORA_CRAWLER_CRAWL_H
