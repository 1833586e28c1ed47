#include "tests/support/own_network.h"

#include <errno.h>
#include <net/if.h>
#include <sched.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace tulora::process {
namespace {

std::string Failed(const char* call) { return std::string(call) + ": " + strerror(errno); }

// A new namespace has a loopback interface that is down; up, it carries
// 127.0.0.1.
bool LoopbackUp(std::string* why) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return *why = Failed("socket"), false;
  ifreq request{};
  strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  if (up) {
    request.ifr_flags |= IFF_UP | IFF_RUNNING;
    up = ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  }
  if (!up) *why = Failed("bringing up lo");
  close(fd);
  return up;
}

}  // namespace

bool EnterOwnNetwork(std::string* why) {
  if (unshare(CLONE_NEWNET) != 0) return *why = Failed("unshare(CLONE_NEWNET)"), false;
  return LoopbackUp(why);
}

void EnterOwnNetworkOrSayWhy(const char* what) {
  std::string why;
  if (EnterOwnNetwork(&why)) return;
  std::fprintf(stderr,
               "!!!!! NO NETWORK OF ITS OWN (%s): %s SHARE THE MACHINE'S PORTS AND MAY COLLIDE WITH "
               "ANOTHER RUN OR THE DEMO !!!!!\n",
               why.c_str(), what);
}

}  // namespace tulora::process
