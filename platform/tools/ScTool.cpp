#include "platform/tools/ScTool.h"

#include <map>
#include <optional>
#include <ostream>

#include "platform/api/ServiceControl.h"
#include "platform/api/WinError.h"
#include "platform/host/Text.h"

namespace platform {
namespace {

using win::DWORD;

std::string Lower(const std::string& text) { return TextLower(text); }

int Failed(std::ostream& out, const std::string& call, DWORD code) {
    out << "[SC] " << call << " FAILED " << code << ":\n\n" << SystemErrorText(code) << "\n\n";
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

std::optional<DWORD> ErrorControlOf(const std::string& text) {
    static const std::map<std::string, DWORD> controls = {{"ignore", win::SERVICE_ERROR_IGNORE},
                                                          {"normal", win::SERVICE_ERROR_NORMAL},
                                                          {"severe", win::SERVICE_ERROR_SEVERE},
                                                          {"critical", win::SERVICE_ERROR_CRITICAL}};
    const auto found = controls.find(Lower(text));
    if (found == controls.end()) return std::nullopt;
    return found->second;
}

// The change the options ask for; nothing when one is unknown or has a bad value.
std::optional<ServiceConfigChange> ChangeOf(const std::map<std::string, std::string>& options) {
    ServiceConfigChange change;
    for (const auto& [name, value] : options) {
        if (name == "binpath=") {
            change.imagePath = value;
        } else if (name == "displayname=") {
            change.displayName = value;
        } else if (name == "obj=") {
            change.objectName = value;
        } else if (name == "password=") {
            // The account's password is the service manager's own business; nothing keeps it here.
        } else if (name == "start=") {
            if (!(change.startType = StartTypeOf(value))) return std::nullopt;
        } else if (name == "type=") {
            if (!(change.type = ServiceTypeOf(value))) return std::nullopt;
        } else if (name == "error=") {
            if (!(change.errorControl = ErrorControlOf(value))) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return change;
}

ServiceRecord NewService(const std::string& name, const ServiceConfigChange& change) {
    ServiceRecord record;
    record.name = name;
    record.type = change.type.value_or(record.type);
    record.startType = change.startType.value_or(record.startType);
    record.errorControl = change.errorControl.value_or(record.errorControl);
    record.imagePath = change.imagePath.value_or(record.imagePath);
    record.displayName = change.displayName.value_or(record.displayName);
    record.objectName = change.objectName.value_or(record.objectName);
    return record;
}

int Create(const std::vector<std::string>& arguments, std::ostream& out) {
    const auto change = ScOptionsChange(arguments);
    if (!change) return Usage(out);
    if (const DWORD code = CreateService(NewService(arguments[1], *change))) return Failed(out, "CreateService", code);
    out << "[SC] CreateService SUCCESS\n";
    return 0;
}

int Config(const std::vector<std::string>& arguments, std::ostream& out) {
    const auto change = ScOptionsChange(arguments);
    if (!change) return Usage(out);
    if (!FindService(arguments[1])) return Failed(out, "OpenService", win::ERROR_SERVICE_DOES_NOT_EXIST);
    if (const DWORD code = ChangeServiceConfig(arguments[1], *change)) return Failed(out, "ChangeServiceConfig", code);
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

std::optional<ServiceConfigChange> ScOptionsChange(const std::vector<std::string>& arguments) {
    const auto options = Options(arguments);
    if (!options) return std::nullopt;
    return ChangeOf(*options);
}

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
