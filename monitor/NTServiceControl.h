#pragma once
// The current state of a Windows service for the heartbeat report: 1 stopped,
// 2 start pending, 3 stop pending, 4 running, 5 continue pending, 6 pause
// pending, 7 paused; 0 when it cannot be read (no such service, no access).
#include <cstdint>
#include <string>

namespace NTServiceControl {

inline constexpr const char* kProductServiceName = "QuarnelService";

std::int32_t GetProductServiceState();
std::int32_t GetServiceState(const std::string& sServiceName);

}  // namespace NTServiceControl
