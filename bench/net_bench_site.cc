// The test site of net_bench in a process of its own, so that the children
// the bench spawns start from a small process (a child spawned from the
// process holding the bodies would inherit that process's peak as its own)
// and the fetching children need none of the server's libraries. Serves
// bodies of 1, 16 and 64 MiB at /1m, /16m and /64m; prints the plain port,
// then serves until its standard input closes.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "testsite/testsite.h"

int main() {
  tulora::testsite::TestSite site;
  for (int mib : {1, 16, 64}) {
    std::string body(static_cast<size_t>(mib) << 20, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 131) >> 3);
    site.Route("/" + std::to_string(mib) + "m", tulora::testsite::Reply::Text(200, body));
  }
  if (!site.Start()) return 1;
  printf("%d\n", site.httpPort());
  fflush(stdout);
  char c;
  while (read(STDIN_FILENO, &c, 1) > 0) {
  }
  return 0;
}
