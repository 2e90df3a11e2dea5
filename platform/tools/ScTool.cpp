#include "platform/tools/ScTool.h"

#include <QString>
#include <map>
#include <optional>
#include <ostream>

#include "platform/api/ServiceControl.h"

namespace platform {
namespace {

using win::DWORD;

std::string Lower(const std::string& text) { return QString::fromStdString(text).toLower().toStdString(); }

const char* ErrorText(DWORD code) {
    switch (code) {
        case win::ERROR_ACCESS_DENIED: return "Access is denied.";
        case win::ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
        case win::ERROR_INVALID_NAME: return "The filename, directory name, or volume label syntax is incorrect.";
        case win::ERROR_SERVICE_ALREADY_RUNNING: return "An instance of the service is already running.";
        case win::ERROR_SERVICE_DISABLED:
            return "The service cannot be started, either because it is disabled or because it has no enabled "
                   "devices associated with it.";
        case win::ERROR_SERVICE_DOES_NOT_EXIST: return "The specified service does not exist as an installed service.";
        case win::ERROR_SERVICE_NOT_ACTIVE: return "The service has not been started.";
        case win::ERROR_SERVICE_EXISTS: return "The specified service already exists.";
        default: return "The operation failed.";
    }
}

int Failed(std::ostream& out, const std::string& call, DWORD code) {
    out << "[SC] " << call << " FAILED " << code << ":\n\n" << ErrorText(code) << "\n\n";
    return static_cast<int>(code);
}

const char* StateName(DWORD state) {
    static const char* const names[] = {"UNKNOWN",          "STOPPED",       "START_PENDING", "STOP_PENDING",
                                        "RUNNING",          "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
    return state <= 7 ? names[state] : names[0];
}

const char* TypeName(DWORD type) {
    if (type & win::SERVICE_WIN32_SHARE_PROCESS) return "WIN32_SHARE_PROCESS";
    return "WIN32_OWN_PROCESS";
}

void PrintStatus(std::ostream& out, const ServiceRecord& service) {
    out << "\nSERVICE_NAME: " << service.name << "\n"
        << "        TYPE               : " << std::hex << service.type << std::dec << "  " << TypeName(service.type)
        << "\n"
        << "        STATE              : " << service.state << "  " << StateName(service.state) << "\n"
        << "                                "
        << (service.state == win::SERVICE_RUNNING ? "(STOPPABLE, NOT_PAUSABLE, ACCEPTS_SHUTDOWN)"
                                                  : "(NOT_STOPPABLE, NOT_PAUSABLE, IGNORES_SHUTDOWN)")
        << "\n"
        << "        WIN32_EXIT_CODE    : 0  (0x0)\n"
        << "        SERVICE_EXIT_CODE  : 0  (0x0)\n"
        << "        CHECKPOINT         : 0x0\n"
        << "        WAIT_HINT          : 0x0\n";
}

// "option= value" pairs after the service name; "option=value" is taken too.
std::optional<std::map<std::string, std::string>> Options(const std::vector<std::string>& arguments) {
    std::map<std::string, std::string> options;
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        const auto equals = word.find('=');
        if (equals == std::string::npos) return std::nullopt;
        const std::string name = Lower(word.substr(0, equals + 1));
        if (equals + 1 < word.size()) {
            options[name] = word.substr(equals + 1);
        } else {
            if (++i >= arguments.size()) return std::nullopt;
            options[name] = arguments[i];
        }
    }
    return options;
}

std::optional<DWORD> StartTypeOf(const std::string& text) {
    static const std::map<std::string, DWORD> types = {{"boot", 0}, {"system", 1}, {"auto", 2},
                                                       {"delayed-auto", 2}, {"demand", 3}, {"disabled", 4}};
    const auto found = types.find(Lower(text));
    if (found == types.end()) return std::nullopt;
    return found->second;
}

std::optional<DWORD> ServiceTypeOf(const std::string& text) {
    const std::string type = Lower(text);
    if (type == "own") return win::SERVICE_WIN32_OWN_PROCESS;
    if (type == "share") return win::SERVICE_WIN32_SHARE_PROCESS;
    return std::nullopt;
}

int Usage(std::ostream& out) {
    out << "DESCRIPTION:\n        SC is a command line program used for communicating with the\n"
           "        Service Control Manager and services.\nUSAGE:\n"
           "        sc <server> [command] [service name] <option1> <option2>...\n";
    return static_cast<int>(win::ERROR_INVALID_PARAMETER);
}

int ApplyOptions(const std::map<std::string, std::string>& options, ServiceRecord& record, std::ostream& out) {
    for (const auto& [name, value] : options) {
        if (name == "binpath=") {
            record.imagePath = value;
        } else if (name == "displayname=") {
            record.displayName = value;
        } else if (name == "start=") {
            const auto start = StartTypeOf(value);
            if (!start) return Usage(out);
            record.startType = *start;
        } else if (name == "type=") {
            const auto type = ServiceTypeOf(value);
            if (!type) return Usage(out);
            record.type = *type;
        } else {
            return Usage(out);
        }
    }
    return 0;
}

int Create(const std::vector<std::string>& arguments, std::ostream& out) {
    const auto options = Options(arguments);
    if (!options) return Usage(out);
    ServiceRecord record;
    record.name = arguments[1];
    if (const int usage = ApplyOptions(*options, record, out)) return usage;
    if (const DWORD code = CreateService(record)) return Failed(out, "CreateService", code);
    out << "[SC] CreateService SUCCESS\n";
    return 0;
}

int Config(const std::vector<std::string>& arguments, std::ostream& out) {
    const auto options = Options(arguments);
    if (!options) return Usage(out);
    auto record = FindService(arguments[1]);
    if (!record) return Failed(out, "OpenService", win::ERROR_SERVICE_DOES_NOT_EXIST);
    if (const int usage = ApplyOptions(*options, *record, out)) return usage;
    DeleteService(record->name);
    const DWORD state = record->state;
    CreateService(*record);
    SetServiceStatus(record->name, state);
    out << "[SC] ChangeServiceConfig SUCCESS\n";
    return 0;
}

int Query(const std::string& name, std::ostream& out) {
    const auto service = FindService(name);
    if (!service) return Failed(out, "EnumQueryServicesStatus:OpenService", win::ERROR_SERVICE_DOES_NOT_EXIST);
    PrintStatus(out, *service);
    return 0;
}

int Control(const std::string& command, const std::string& name, std::ostream& out) {
    const bool start = command == "start";
    const DWORD code = start ? StartService(name) : StopService(name);
    if (code) return Failed(out, start ? "StartService" : "ControlService", code);
    if (const auto service = FindService(name)) PrintStatus(out, *service);
    return 0;
}

}  // namespace

int RunScTool(const std::vector<std::string>& arguments, std::ostream& out) {
    if (arguments.size() < 2) return Usage(out);
    const std::string command = Lower(arguments[0]);
    const std::string& name = arguments[1];
    if (command == "create") return Create(arguments, out);
    if (command == "config") return Config(arguments, out);
    if (arguments.size() != 2) return Usage(out);
    if (command == "delete") {
        if (const DWORD code = DeleteService(name)) return Failed(out, "DeleteService", code);
        out << "[SC] DeleteService SUCCESS\n";
        return 0;
    }
    if (command == "query" || command == "queryex") return Query(name, out);
    if (command == "start" || command == "stop") return Control(command, name, out);
    return Usage(out);
}

}  // namespace platform
