#pragma once
// Host name to dotted IPv4 address and back, by the blocking Winsock calls.
// Failures go to the debug log and give an empty text.
#include <string>

class clsNetResolve {
public:
    std::string GetIPFromHostName(std::string sHostName);
    std::string GetHostNameFromIP(std::string sIPAddress);

private:
    bool StartWinsock();
    void StopWinsock();
    static std::string FormatAddress(const unsigned char* bytes, int length);
};
