#include "platform/api/ServiceControl.h"

#include <QString>
#include <algorithm>
#include <map>
#include <mutex>

#include "platform/api/ProfileIni.h"
#include "platform/api/Registry.h"
#include "platform/host/HostFolder.h"
#include "platform/host/Text.h"

namespace platform {
namespace {

using win::DWORD;
using win::HKEY;

constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";
constexpr const char* kStateSection = "State";

std::filesystem::path StateFile() { return HostFolder() / "services.ini"; }

std::string StateKey(const std::string& name) {
    return TextFoldCase(name);
}

class Key {
public:
    explicit Key(const std::string& path, win::REGSAM access = win::KEY_READ, win::HANDLE transaction = 0) {
        result_ = transaction ? win::RegOpenKeyTransactedA(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key_,
                                                           transaction, nullptr)
                              : win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key_);
        if (result_ != 0) key_ = 0;
    }
    // Creates the key (and the missing ones above it) inside the transaction.
    struct CreatedIn {
        win::HANDLE transaction;
    };
    Key(const std::string& path, CreatedIn created) {
        result_ = win::RegCreateKeyTransactedA(win::HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                               win::KEY_ALL_ACCESS, nullptr, &key_, nullptr, created.transaction,
                                               nullptr);
        if (result_ != 0) key_ = 0;
    }
    ~Key() {
        if (key_) win::RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    explicit operator bool() const { return key_ != 0; }
    HKEY get() const { return key_; }
    // 0, or the registry's code of the open or of the first failed write.
    DWORD Result() const { return static_cast<DWORD>(result_); }

    std::optional<DWORD> Dword(const char* value) const {
        DWORD type = 0, data = 0, size = sizeof data;
        if (win::RegQueryValueExA(key_, value, nullptr, &type, reinterpret_cast<win::BYTE*>(&data), &size) != 0 ||
            type != win::REG_DWORD)
            return std::nullopt;
        return data;
    }
    std::string Text(const char* value) const {
        DWORD type = 0, size = 0;
        if (win::RegQueryValueExA(key_, value, nullptr, &type, nullptr, &size) != 0 || size == 0) return {};
        std::string data(size, '\0');
        if (win::RegQueryValueExA(key_, value, nullptr, &type, reinterpret_cast<win::BYTE*>(data.data()), &size) != 0)
            return {};
        data.resize(size);
        while (!data.empty() && data.back() == '\0') data.pop_back();
        return data;
    }
    void SetDword(const char* value, DWORD data) {
        Keep(win::RegSetValueExA(key_, value, 0, win::REG_DWORD, reinterpret_cast<const win::BYTE*>(&data),
                                 sizeof data));
    }
    void SetText(const char* value, const std::string& data, DWORD type = win::REG_SZ) {
        Keep(win::RegSetValueExA(key_, value, 0, type, reinterpret_cast<const win::BYTE*>(data.c_str()),
                                 static_cast<DWORD>(data.size() + 1)));
    }

private:
    void Keep(win::LONG result) {
        if (result_ == 0) result_ = result;
    }
    HKEY key_ = 0;
    win::LONG result_ = 0;
};

std::string ServiceKeyPath(const std::string& name) { return std::string(kServicesKey) + "\\" + name; }

bool IsWin32Service(DWORD type) {
    return (type & (win::SERVICE_WIN32_OWN_PROCESS | win::SERVICE_WIN32_SHARE_PROCESS)) != 0;
}

DWORD StoredState(const std::string& name) {
    const auto text = ReadIniValue(StateFile(), kStateSection, StateKey(name));
    if (!text) return win::SERVICE_STOPPED;
    try {
        const long value = std::stol(*text);
        return value >= 1 && value <= 7 ? static_cast<DWORD>(value) : win::SERVICE_STOPPED;
    } catch (const std::exception&) {
        return win::SERVICE_STOPPED;
    }
}

std::optional<ServiceRecord> ReadService(const std::string& subKeyName) {
    if (subKeyName.empty() || subKeyName.find('\\') != std::string::npos) return std::nullopt;
    const Key key(ServiceKeyPath(subKeyName));
    if (!key) return std::nullopt;
    const auto type = key.Dword("Type");
    if (!type || !IsWin32Service(*type)) return std::nullopt;
    ServiceRecord record;
    record.name = subKeyName;
    record.type = *type;
    record.startType = key.Dword("Start").value_or(win::SERVICE_DEMAND_START);
    record.displayName = key.Text("DisplayName");
    if (record.displayName.empty()) record.displayName = subKeyName;
    record.imagePath = key.Text("ImagePath");
    record.errorControl = key.Dword("ErrorControl").value_or(win::SERVICE_ERROR_NORMAL);
    record.objectName = key.Text("ObjectName");
    record.state = StoredState(subKeyName);
    return record;
}

std::vector<std::string> ServiceKeyNames() {
    std::vector<std::string> names;
    const Key services(kServicesKey);
    if (!services) return names;
    char name[260];
    for (DWORD index = 0; win::RegEnumKeyA(services.get(), index, name, sizeof name) == 0; ++index)
        names.emplace_back(name);
    return names;
}

// The registered spelling of a name given in any case.
std::optional<std::string> RegisteredName(const std::string& name) {
    const std::string wanted = StateKey(name);
    for (const std::string& candidate : ServiceKeyNames())
        if (StateKey(candidate) == wanted) return candidate;
    return std::nullopt;
}

void StoreState(const std::string& name, DWORD state) {
    WriteIniValue(StateFile(), kStateSection, StateKey(name), std::to_string(state));
}

}  // namespace

std::vector<ServiceRecord> ListServices() {
    std::vector<ServiceRecord> services;
    for (const std::string& name : ServiceKeyNames())
        if (auto record = ReadService(name)) services.push_back(std::move(*record));
    return services;
}

std::optional<ServiceRecord> FindService(const std::string& name) {
    if (name.empty()) return std::nullopt;
    const auto registered = RegisteredName(name);
    return registered ? ReadService(*registered) : std::nullopt;
}

DWORD CreateService(const ServiceRecord& record) {
    if (record.name.empty() || record.name.find_first_of("\\/") != std::string::npos) return win::ERROR_INVALID_NAME;
    if (RegisteredName(record.name)) return win::ERROR_SERVICE_EXISTS;
    RegistryTransaction transaction;
    if (transaction.Error()) return transaction.Error();
    Key key(ServiceKeyPath(record.name), Key::CreatedIn{transaction.Handle()});
    key.SetDword("Type", record.type);
    key.SetDword("Start", record.startType);
    key.SetDword("ErrorControl", record.errorControl);
    key.SetText("ImagePath", record.imagePath, win::REG_EXPAND_SZ);
    key.SetText("DisplayName", record.displayName.empty() ? record.name : record.displayName);
    key.SetText("ObjectName", record.objectName);
    if (key.Result()) return key.Result();
    if (const DWORD committed = transaction.Commit()) return committed;
    StoreState(record.name, win::SERVICE_STOPPED);
    return 0;
}

DWORD DeleteService(const std::string& name) {
    const auto service = FindService(name);
    if (!service) return win::ERROR_SERVICE_DOES_NOT_EXIST;
    const win::LONG deleted = win::RegDeleteTreeA(win::HKEY_LOCAL_MACHINE, ServiceKeyPath(service->name).c_str());
    if (deleted != 0) return static_cast<DWORD>(deleted);
    WriteIniValue(StateFile(), kStateSection, StateKey(service->name), std::nullopt);
    return 0;
}

DWORD ChangeServiceConfig(const std::string& name, const ServiceConfigChange& change) {
    const auto service = FindService(name);
    if (!service) return win::ERROR_SERVICE_DOES_NOT_EXIST;
    RegistryTransaction transaction;
    if (transaction.Error()) return transaction.Error();
    Key key(ServiceKeyPath(service->name), win::KEY_QUERY_VALUE | win::KEY_SET_VALUE, transaction.Handle());
    if (change.type) key.SetDword("Type", *change.type);
    if (change.startType) key.SetDword("Start", *change.startType);
    if (change.errorControl) key.SetDword("ErrorControl", *change.errorControl);
    if (change.imagePath) key.SetText("ImagePath", *change.imagePath, win::REG_EXPAND_SZ);
    if (change.displayName) key.SetText("DisplayName", *change.displayName);
    if (change.objectName) key.SetText("ObjectName", *change.objectName);
    if (key.Result()) return key.Result();
    return transaction.Commit();
}

DWORD StartService(const std::string& name) {
    const auto service = FindService(name);
    if (!service) return win::ERROR_SERVICE_DOES_NOT_EXIST;
    if (service->startType == win::SERVICE_DISABLED) return win::ERROR_SERVICE_DISABLED;
    if (service->state != win::SERVICE_STOPPED) return win::ERROR_SERVICE_ALREADY_RUNNING;
    StoreState(service->name, win::SERVICE_RUNNING);
    return 0;
}

DWORD StopService(const std::string& name) {
    const auto service = FindService(name);
    if (!service) return win::ERROR_SERVICE_DOES_NOT_EXIST;
    if (service->state == win::SERVICE_STOPPED) return win::ERROR_SERVICE_NOT_ACTIVE;
    StoreState(service->name, win::SERVICE_STOPPED);
    return 0;
}

DWORD SetServiceStatus(const std::string& name, DWORD state) {
    const auto service = FindService(name);
    if (!service) return win::ERROR_SERVICE_DOES_NOT_EXIST;
    if (state < win::SERVICE_STOPPED || state > win::SERVICE_PAUSED) return win::ERROR_INVALID_PARAMETER;
    StoreState(service->name, state);
    return 0;
}

}  // namespace platform

namespace win {
namespace {

struct OpenHandle {
    bool manager = false;
    std::string serviceName;
    DWORD access = 0;
};

std::mutex handlesMutex;
std::map<SC_HANDLE, OpenHandle> handles;
SC_HANDLE nextHandle = 0x5C0000;

SC_HANDLE AddHandle(OpenHandle entry) {
    std::lock_guard lock(handlesMutex);
    const SC_HANDLE handle = nextHandle += 4;
    handles.emplace(handle, std::move(entry));
    return handle;
}

std::optional<OpenHandle> HandleOf(SC_HANDLE handle) {
    std::lock_guard lock(handlesMutex);
    const auto found = handles.find(handle);
    if (found == handles.end()) return std::nullopt;
    return found->second;
}

std::string Narrow(const wchar_t* text) { return text ? QString::fromWCharArray(text).toStdString() : std::string(); }

}  // namespace

SC_HANDLE OpenSCManagerA(const char* machineName, const char* databaseName, DWORD desiredAccess) {
    const std::string machine = machineName ? machineName : "";
    const std::string database = databaseName ? databaseName : "";
    if (!machine.empty() && machine != "." && QString::fromStdString(machine).remove("\\").compare(
                                                  QString::fromStdString(platform::ComputerName()), Qt::CaseInsensitive) != 0) {
        SetLastError(1722);  // RPC_S_SERVER_UNAVAILABLE
        return 0;
    }
    if (!database.empty() && QString::fromStdString(database).compare("ServicesActive", Qt::CaseInsensitive) != 0) {
        SetLastError(1065);  // ERROR_DATABASE_DOES_NOT_EXIST
        return 0;
    }
    return AddHandle({true, {}, desiredAccess});
}

SC_HANDLE OpenSCManagerW(const wchar_t* machineName, const wchar_t* databaseName, DWORD desiredAccess) {
    const std::string machine = Narrow(machineName), database = Narrow(databaseName);
    return OpenSCManagerA(machineName ? machine.c_str() : nullptr, databaseName ? database.c_str() : nullptr,
                          desiredAccess);
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* serviceName, DWORD desiredAccess) {
    const auto owner = HandleOf(manager);
    if (!owner || !owner->manager) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!serviceName || !*serviceName) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    const auto service = platform::FindService(serviceName);
    if (!service) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return 0;
    }
    return AddHandle({false, service->name, desiredAccess});
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, const wchar_t* serviceName, DWORD desiredAccess) {
    const std::string name = Narrow(serviceName);
    return OpenServiceA(manager, serviceName ? name.c_str() : nullptr, desiredAccess);
}

BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
    const auto handle = HandleOf(service);
    if (!handle || handle->manager || !status) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    if ((handle->access & SERVICE_QUERY_STATUS) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE_;
    }
    const auto record = platform::FindService(handle->serviceName);
    if (!record) {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return FALSE_;
    }
    *status = SERVICE_STATUS{record->type, record->state, record->state == SERVICE_RUNNING ? 1u : 0u, 0, 0, 0, 0};
    return TRUE_;
}

std::wstring WideText(const std::string& utf8) { return QString::fromStdString(utf8).toStdWString(); }

BOOL CloseServiceHandle(SC_HANDLE handle) {
    std::lock_guard lock(handlesMutex);
    if (handles.erase(handle) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE_;
    }
    return TRUE_;
}

}  // namespace win
