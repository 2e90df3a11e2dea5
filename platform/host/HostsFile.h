#pragma once
// The emulated machine's hosts file, C:\Windows\System32\drivers\etc\hosts,
// which Windows consults before it asks a name server: one address and its
// names per line, "#" starts a comment, names compare ignoring letter case.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct HostsEntry {
    std::string address;
    std::vector<std::string> names;
};

// The lines of a hosts file's text that give an address at least one name.
std::vector<HostsEntry> ParseHostsFile(std::string_view text);

// The addresses the hosts file gives a name, in file order (none when the
// file does not list it or cannot be read).
std::vector<std::string> HostsFileAddresses(const std::string& name);

// The names the hosts file gives an address, in file order.
std::vector<std::string> HostsFileNames(const std::string& address);

}  // namespace platform
