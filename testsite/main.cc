// tulora-testsite: the test site as a command-line server. Prints its ports
// and the certificate file, then serves until SIGINT or SIGTERM.
//
//   tulora-testsite [--https-port N] [--http-port N] [--cert-dir DIR]
//
// Routes: "/" answers a short text, "/echo" answers the request exactly as
// it arrived, anything else 404.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "testsite.h"

namespace {

bool ParseArgs(int argc, char** argv, tulora::testsite::TestSite::Options* options) {
  for (int i = 1; i < argc; ++i) {
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (strcmp(argv[i - 1], "--https-port") == 0) {
      options->httpsPort = atoi(value);
    } else if (strcmp(argv[i - 1], "--http-port") == 0) {
      options->httpPort = atoi(value);
    } else if (strcmp(argv[i - 1], "--cert-dir") == 0) {
      options->certDir = value;
    } else {
      return false;
    }
  }
  return options->httpsPort >= 0 && options->httpsPort < 65536 && options->httpPort >= 0 &&
         options->httpPort < 65536;
}

}  // namespace

int main(int argc, char** argv) {
  using tulora::testsite::LoggedRequest;
  using tulora::testsite::Reply;
  tulora::testsite::TestSite::Options options;
  if (!ParseArgs(argc, argv, &options)) {
    fprintf(stderr, "usage: %s [--https-port N] [--http-port N] [--cert-dir DIR]\n", argv[0]);
    return 2;
  }
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);  // the server threads inherit it

  tulora::testsite::TestSite site;
  site.Route("/", Reply::Text(200, "Tulora test site\n"));
  site.RoutePrefix("/echo",
                   [](const LoggedRequest& request) { return Reply::Text(200, request.raw); });
  if (!site.Start(options)) {
    fprintf(stderr, "tulora-testsite: cannot start (ports in use or no certificate)\n");
    return 1;
  }
  printf("https_port=%d\nhttp_port=%d\ncert_file=%s\n", site.httpsPort(), site.httpPort(),
         site.cert_file().c_str());
  fflush(stdout);
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  site.Stop();
  return 0;
}
