// Host, port and object path of a URL, cut out with plain text operations
// (no general URL parser). Schemes "http://" and "https://" in any letter
// case, or none (read as http); with or without a port and a path.
#ifndef TULORA_HTTP_URL_H
#define TULORA_HTTP_URL_H

#include <stdint.h>

namespace tulora {

// A new text: the host in lower case; with keepPort, followed by ":" and the
// port when the URL names one. 'https://Ab.CD:81/x' gives 'ab.cd'.
char* UrlHost(const char* url, bool keepPort = false);

// The port the URL names, else 443 for https and 80 otherwise. Port text
// that is no number goes to the runtime's text-to-integer conversion.
int32_t UrlPort(const char* url);

// A new text: the path from the first "/" after the host to the end of the
// URL, query and fragment included; "/" when there is none. When the host is
// empty (and so is never found in the URL) the "/" is looked for from the
// first byte, the rule for every search start below 1.
char* UrlPath(const char* url);

}  // namespace tulora

#endif  // TULORA_HTTP_URL_H
