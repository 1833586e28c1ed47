// tulora-gallery-site: the local demo site as a program.
//
//   tulora-gallery-site [--gallery-port N] [--picture-port N] [--cert-dir DIR]
//
// Prints the two base URLs and the certificate file (one "name value" line
// each), then serves until it is interrupted or terminated.
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gallery_site.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

}  // namespace

int main(int argc, char** argv) {
  tulora::demosite::GallerySite::Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--gallery-port") == 0) {
      options.galleryPort = std::atoi(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--picture-port") == 0) {
      options.picturePort = std::atoi(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--cert-dir") == 0) {
      options.certDir = argv[i + 1];
    } else {
      std::fprintf(stderr, "tulora-gallery-site: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  tulora::demosite::GallerySite site;
  if (!site.Start(options)) {
    std::fprintf(stderr, "tulora-gallery-site: cannot start (ports taken?)\n");
    return 1;
  }
  std::printf("gallery %s\npictures %s\ncert %s\n", site.GalleryBase().c_str(),
              site.PictureBase().c_str(), site.CertFile().c_str());
  std::fflush(stdout);
  while (!g_stop) pause();
  site.Stop();
  return 0;
}
