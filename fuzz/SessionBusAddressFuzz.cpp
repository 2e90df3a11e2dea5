// The session bus address from the environment (DBUS_SESSION_BUS_ADDRESS):
// a socket is found only in a first address of the unix kind, and its name,
// with escapes undone, is never longer than that address's text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/host/SessionBus.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string addresses(reinterpret_cast<const char*>(data), size);
    const auto socket = platform::UnixSocketOf(addresses);
    if (!socket) return 0;
    const std::string first = addresses.substr(0, addresses.find(';'));
    if (first.rfind("unix:", 0) != 0) std::abort();
    if (socket->name.size() > first.size()) std::abort();
    return 0;
}
