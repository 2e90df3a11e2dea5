#pragma once
// The desktop's session bus as DBUS_SESSION_BUS_ADDRESS names it. libdbus
// waits without a limit for a bus that accepts a connection and then never
// answers (a stopped bus daemon), and Qt asks the bus from the main thread
// (accessibility, themes): such a bus is probed with a bound before the
// windowing starts and, when silent, set aside for this process.
#include <chrono>
#include <optional>
#include <string>

namespace platform {

inline constexpr std::chrono::milliseconds kSessionBusProbeBound{1000};

// A unix socket a bus address names, by path or abstract name.
struct UnixAddress {
    std::string name;  // %XX escapes undone
    bool abstract = false;
};
// The first address of a list (';' between addresses), when it is a unix
// socket by path or abstract name.
std::optional<UnixAddress> UnixSocketOf(const std::string& addresses);

// True when the bus at the address answers the start of the authentication
// within the bound. Only unix:path= and unix:abstract= addresses are
// probed; any other kind counts as answering.
bool SessionBusAnswers(const std::string& address, std::chrono::milliseconds bound = kSessionBusProbeBound);

// Probes the bus DBUS_SESSION_BUS_ADDRESS names; when it does not answer,
// points the variable at an address that fails at once and says so in the
// debug output. Without the variable, or with a bus that answers, nothing
// changes.
void SetAsideSilentSessionBus();

// The address the process was given: the one set aside when it was, else
// DBUS_SESSION_BUS_ADDRESS as it is now (empty when unset).
std::string SessionBusAddress();

}  // namespace platform
