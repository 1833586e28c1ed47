// A network of the calling process's own: a new network namespace with
// its loopback interface up, so that servers on the program's fixed ports
// of 127.0.0.1 collide with no other test run and no running demo. Needs
// root (CAP_SYS_ADMIN). Processes started afterwards share it.
#ifndef TULORA_TESTS_SUPPORT_OWN_NETWORK_H
#define TULORA_TESTS_SUPPORT_OWN_NETWORK_H

#include <string>

namespace tulora::process {

// Enters the new network; false, with the reason in `why`, when the
// process stays in the machine's network.
bool EnterOwnNetwork(std::string* why);

// EnterOwnNetwork, and where it fails one loud line on standard error
// naming `what` as what then shares the machine's ports.
void EnterOwnNetworkOrSayWhy(const char* what);

}  // namespace tulora::process

#endif  // TULORA_TESTS_SUPPORT_OWN_NETWORK_H
