#include "NTServiceControl.h"

#include "platform/api/ServiceControl.h"

namespace NTServiceControl {

std::int32_t GetServiceState(const std::string& sServiceName) {
    const win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    if (!manager) return 0;
    const std::wstring name = win::WideText(sServiceName);
    const win::SC_HANDLE service = win::OpenServiceW(manager, name.c_str(), win::SERVICE_QUERY_STATUS);
    if (!service) {
        win::CloseServiceHandle(manager);
        return 0;
    }
    win::SERVICE_STATUS status{};
    const std::int32_t state =
        win::QueryServiceStatus(service, &status) ? static_cast<std::int32_t>(status.dwCurrentState) : 0;
    win::CloseServiceHandle(service);
    win::CloseServiceHandle(manager);
    return state;
}

std::int32_t GetProductServiceState() { return GetServiceState(kProductServiceName); }

}  // namespace NTServiceControl
