#pragma once
// The emulated machine's hosts file, C:\Windows\System32\drivers\etc\hosts,
// which Windows consults before it asks a name server: one address and its
// names per line, "#" starts a comment, names compare ignoring letter case.
#include <string>
#include <vector>

namespace platform {

// The addresses the hosts file gives a name, in file order (none when the
// file does not list it or cannot be read).
std::vector<std::string> HostsFileAddresses(const std::string& name);

// The names the hosts file gives an address, in file order.
std::vector<std::string> HostsFileNames(const std::string& address);

}  // namespace platform
