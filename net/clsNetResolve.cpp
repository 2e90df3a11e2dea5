#include "net/clsNetResolve.h"

#include "common/CommonModule.h"
#include "platform/api/Winsock.h"

bool clsNetResolve::StartWinsock() {
    win::WSADATA data;
    return win::WSAStartup(0x0101, &data) == 0;
}

void clsNetResolve::StopWinsock() {
    if (win::WSACleanup() != 0) CommonModule::DPrint("Error calling apiWSACleanup.");
}

std::string clsNetResolve::FormatAddress(const unsigned char* bytes, int length) {
    std::string dotted;
    for (int i = 0; i < length; ++i) dotted += (i ? "." : "") + std::to_string(bytes[i]);
    return dotted;
}

std::string clsNetResolve::GetIPFromHostName(std::string sHostName) {
    if (!StartWinsock()) {
        CommonModule::DPrint("Failed to open Socket.");
        return "";
    }
    // The start-up stays outstanding, as it always has: later calls rely on it.
    const win::HOSTENT* entry = win::gethostbyname(sHostName + '\0');
    if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) return "";
    return FormatAddress(reinterpret_cast<const unsigned char*>(entry->h_addr_list[0]), entry->h_length);
}

std::string clsNetResolve::GetHostNameFromIP(std::string sIPAddress) {
    if (!StartWinsock()) {
        CommonModule::DPrint("Failed to open Socket");
        return "";
    }
    const std::uint32_t address = win::inet_addr(sIPAddress);
    if (address == win::WS_INADDR_NONE) {
        CommonModule::DPrint("Invalid IP address");
        return "";
    }
    const win::HOSTENT* entry = win::gethostbyaddr(reinterpret_cast<const char*>(&address), 4, win::WS_AF_INET);
    if (!entry) {
        CommonModule::DPrint("Call to gethostbyaddr failed.");
        StopWinsock();
        return "";
    }
    std::string name = entry->h_name ? entry->h_name : "";
    StopWinsock();
    return name;
}
