#include "platform/tools/EventCreateTool.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include "platform/api/EventLog.h"
#include "platform/host/HostFolder.h"
#include "platform/api/MessageTable.h"
#include "platform/api/Program.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace platform {

namespace {

const char* const kUsageHint = "Type \"EVENTCREATE /?\" for usage.\n";

const char* const kUsage =
    "\nEVENTCREATE [/S system [/U username [/P [password]]]] /ID eventid\n"
    "            [/L logname] [/SO srcname] /T type /D description\n\n"
    "Description:\n"
    "    This command line tool enables an administrator to create\n"
    "    a custom event ID and message in a specified event log.\n\n"
    "Parameter List:\n"
    "    /S    system           Specifies the remote system to connect to.\n"
    "    /U    [domain\\]user    Specifies the user context under which\n"
    "                           the command should execute.\n"
    "    /P    [password]       Specifies the password for the given user context.\n"
    "    /L    logname          Specifies the event log to create an event in.\n"
    "    /T    type             Specifies the type of event to create.\n"
    "                           Valid types: SUCCESS, ERROR, WARNING, INFORMATION,\n"
    "                           AUDITSUCCESS, AUDITFAILURE.\n"
    "    /SO   source           Specifies the source to use for the event.\n"
    "    /ID   id               Specifies the event ID for the event. A valid\n"
    "                           custom message ID is in the range of 1 - 65535.\n"
    "    /D    description      Specifies the description text for the new event.\n"
    "    /?                     Displays this help message.\n";

struct Failure {
    std::string text;
};

Failure Syntax(const std::string& text) { return {"ERROR: " + text + "\n" + kUsageHint}; }

const std::vector<std::string>& KnownOptions() {
    static const std::vector<std::string> options = {"/S", "/U", "/P", "/ID", "/L", "/SO", "/T", "/D"};
    return options;
}

std::optional<std::string> OptionName(const std::string& argument) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return std::nullopt;
    const std::string name = "/" + TextUpper(argument.substr(1));
    for (const std::string& known : KnownOptions())
        if (known == name) return name;
    return std::nullopt;
}

std::map<std::string, std::string> ReadOptions(const std::vector<std::string>& arguments) {
    std::map<std::string, std::string> options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto name = OptionName(arguments[i]);
        if (!name) throw Syntax("Invalid argument/option - '" + arguments[i] + "'.");
        if (options.count(*name)) throw Syntax("Invalid syntax. '" + *name + "' option is not allowed more than '1' time(s).");
        const bool optionalValue = *name == "/P";
        if (i + 1 >= arguments.size() || OptionName(arguments[i + 1])) {
            if (!optionalValue) throw Syntax("Invalid syntax. Value expected for '" + *name + "'.");
            options[*name] = "";
            continue;
        }
        options[*name] = arguments[++i];
    }
    return options;
}

void Require(const std::map<std::string, std::string>& options, const char* name) {
    if (!options.count(name)) throw Syntax(std::string("Invalid Syntax. Mandatory option '") + name + "' is missing.");
}

int TypeNumber(const std::string& typed) {
    static const std::map<std::string, int> types = {
        {"SUCCESS", win::EVENTLOG_SUCCESS},           {"ERROR", win::EVENTLOG_ERROR_TYPE},
        {"WARNING", win::EVENTLOG_WARNING_TYPE},      {"INFORMATION", win::EVENTLOG_INFORMATION_TYPE},
        {"AUDITSUCCESS", win::EVENTLOG_AUDIT_SUCCESS}, {"AUDITFAILURE", win::EVENTLOG_AUDIT_FAILURE}};
    const auto found = types.find(TextUpper(typed));
    if (found == types.end()) throw Syntax("Invalid Argument/Option - '/T'.");
    return found->second;
}

std::uint32_t EventId(const std::string& typed) {
    const auto id = EventCreateId(typed);
    if (!id) throw Failure{"ERROR: Invalid ID. The valid range is from 1 - 65535.\n"};
    return *id;
}

void CheckServer(const std::map<std::string, std::string>& options) {
    const auto server = options.find("/S");
    if (server == options.end()) {
        if (options.count("/U") || options.count("/P")) throw Syntax("Invalid syntax. '/U' and '/P' need '/S'.");
        return;
    }
    std::string name = server->second;
    if (name.rfind("\\\\", 0) == 0) name.erase(0, 2);
    if (!(name == "." || TextCompareEqual(name, "localhost") || TextCompareEqual(name, ComputerName())))
        throw Failure{"ERROR: The RPC server is unavailable.\n"};
}

std::string LogName(const std::string& typed) {
    if (const auto registered = RegisteredLogName(typed)) return *registered;
    for (const char* known : {"Application", "System"})
        if (TextCompareEqual(typed, known)) return known;
    throw Failure{"ERROR: The specified log '" + typed + "' does not exist.\n"};
}

bool IsValidSourceName(const std::string& source) {
    return !source.empty() && source.find('\\') == std::string::npos && source.size() <= 255;
}

void CheckSourceName(const std::string& source) {
    if (!IsValidSourceName(source)) throw Failure{"ERROR: Invalid source name '" + source + "'.\n"};
}

win::LONG SetValue(win::HKEY key, const char* name, win::DWORD type, const std::string& bytes) {
    return win::RegSetValueExA(key, name, 0, type, reinterpret_cast<const win::BYTE*>(bytes.data()),
                               static_cast<win::DWORD>(bytes.size()));
}

// What failed, in the system's words: a damaged registry is not a refusal.
Failure SystemFailure(win::DWORD code) { return Failure{"ERROR: " + SystemErrorText(code) + "\n"}; }

std::string DwordBytes(win::DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

std::string SourceKeyPath(const std::string& log, const std::string& source) {
    return std::string(kEventLogKey) + "\\" + log + "\\" + source;
}

// The key and its three values are one transaction: a run killed on the way
// leaves the source registered whole or not at all.
void RegisterSource(const std::string& log, const std::string& source) {
    RegistryTransaction transaction;
    if (transaction.Error()) throw SystemFailure(transaction.Error());
    win::HKEY key = 0;
    const win::LONG created =
        win::RegCreateKeyTransactedA(win::HKEY_LOCAL_MACHINE, SourceKeyPath(log, source).c_str(), 0, nullptr, 0,
                                     win::KEY_ALL_ACCESS, nullptr, &key, nullptr, transaction.Handle(), nullptr);
    if (created != 0) throw SystemFailure(static_cast<win::DWORD>(created));
    win::LONG written = SetValue(key, "EventMessageFile", win::REG_EXPAND_SZ, std::string(kEventCreateMessageFile) + '\0');
    if (written == 0) written = SetValue(key, "TypesSupported", win::REG_DWORD, DwordBytes(7));
    if (written == 0) written = SetValue(key, "CustomSource", win::REG_DWORD, DwordBytes(1));
    win::RegCloseKey(key);
    if (written != 0) throw SystemFailure(static_cast<win::DWORD>(written));
    if (const win::DWORD committed = transaction.Commit()) throw SystemFailure(committed);
}

// A source key without a message file gives its records no message.
bool HasMessageFile(win::HKEY key) {
    return win::RegQueryValueExA(key, "EventMessageFile", nullptr, nullptr, nullptr, nullptr) == 0;
}

bool HasMessageFile(const std::string& log, const std::string& source) {
    win::HKEY key = 0;
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, SourceKeyPath(log, source).c_str(), 0, win::KEY_QUERY_VALUE,
                           &key) != 0)
        return false;
    const bool has = HasMessageFile(key);
    win::RegCloseKey(key);
    return has;
}

// A source's key: the log it is under, by its registered name.
struct SourceRegistration {
    std::string log;
    bool hasMessageFile = false;
};

// The log's name as the key's path holds it, one above the source's key.
std::string LogOfSourceKey(win::HKEY key) {
    const std::string path = RegistryKeyPath(key);
    const std::size_t sourceStart = path.rfind('\\');
    if (sourceStart == std::string::npos || sourceStart == 0) return "";
    const std::size_t logStart = path.rfind('\\', sourceStart - 1);
    return logStart == std::string::npos ? "" : path.substr(logStart + 1, sourceStart - logStart - 1);
}

// A source registered under the log named is the usual case, and one look at
// its key; only a source found elsewhere or nowhere needs a walk of the logs.
std::optional<SourceRegistration> RegistrationOf(const std::string& source, const std::string& typedLog) {
    if (!IsValidSourceName(source)) return std::nullopt;
    win::HKEY key = 0;
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, SourceKeyPath(typedLog, source).c_str(), 0,
                           win::KEY_QUERY_VALUE, &key) == 0) {
        SourceRegistration found{LogOfSourceKey(key), HasMessageFile(key)};
        win::RegCloseKey(key);
        if (!found.log.empty()) return found;
    }
    const auto log = RegisteredLogOfSource(source);
    if (!log) return std::nullopt;
    return SourceRegistration{*log, HasMessageFile(*log, source)};
}

// The table all sources share is checked on every run, so that one left
// empty or damaged before (by a run killed while writing it in place, say)
// is mended by the next run, whatever its source.
void KeepMessageTableFile() {
    const auto file = ToHostPath(ExpandEnvironmentStrings(kEventCreateMessageFile));
    if (!file) throw SystemFailure(win::ERROR_PATH_NOT_FOUND);
    if (const win::DWORD error = KeepMessageFile(*file, FirstStringRangeTable())) throw SystemFailure(error);
}

void WriteRecord(const std::string& log, const std::string& source, int type, std::uint32_t id,
                 const std::string& description) {
    const win::HANDLE handle = RegisterEventSourceForLog(source.c_str(), log);
    if (!handle) throw SystemFailure(win::GetLastError());
    const char* strings[] = {description.c_str()};
    const bool written =
        win::ReportEventA(handle, static_cast<win::WORD>(type), 0, id, nullptr, 1, 0, strings, nullptr) != win::FALSE_;
    const win::DWORD error = win::GetLastError();
    win::DeregisterEventSource(handle);
    if (!written) throw SystemFailure(error);
}

ToolResult CreateEvent(const std::map<std::string, std::string>& options) {
    for (const char* name : {"/T", "/ID", "/D"}) Require(options, name);
    CheckServer(options);
    const std::string typedType = options.at("/T");
    const int type = TypeNumber(typedType);
    const std::uint32_t id = EventId(options.at("/ID"));
    const std::string typedLog = options.count("/L") ? options.at("/L") : "Application";
    const std::string source = options.count("/SO") ? options.at("/SO") : "EventCreate";
    const auto registration = RegistrationOf(source, typedLog);
    const std::string log =
        registration && TextCompareEqual(registration->log, typedLog) ? registration->log : LogName(typedLog);
    CheckSourceName(source);
    if (!registration) RegisterSource(log, source);
    else if (!registration->hasMessageFile) RegisterSource(registration->log, source);
    KeepMessageTableFile();

    WriteRecord(log, source, type, id, options.at("/D"));
    return {0,
            "SUCCESS: An event of type '" + TextUpper(typedType) + "' was created in the '" + typedLog +
                "' log with '" + source + "' as the source.\n",
            ""};
}

// stdio rather than the C++ streams, whose start-up is a good part of this
// short process's own time.
void Write(const std::string& text, std::FILE* stream) { std::fwrite(text.data(), 1, text.size(), stream); }

}  // namespace

int EventCreateMain(int argc, char** argv) {
    UseHostForShortProcess();
    UseEventLogForOneRecord();
    InitProgram(argc, argv);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ToolResult result = RunEventCreate(arguments);
    Write(result.output, stdout);
    Write(result.error, stderr);
    return result.exitCode;
}

ToolResult RunEventCreate(const std::vector<std::string>& arguments) {
    if (arguments.size() == 1 && (arguments[0] == "/?" || arguments[0] == "-?")) return {0, kUsage, ""};
    try {
        return CreateEvent(ReadOptions(arguments));
    } catch (const Failure& failure) {
        return {1, "", failure.text};
    }
}

std::optional<std::uint32_t> EventCreateId(const std::string& typed) {
    const bool digits = !typed.empty() && typed.find_first_not_of("0123456789") == std::string::npos;
    if (!digits) return std::nullopt;
    const std::string significant = typed.substr(std::min(typed.find_first_not_of('0'), typed.size()));
    const unsigned long id = significant.size() <= 5 ? std::strtoul(significant.c_str(), nullptr, 10) : 0;
    if (id < 1 || id > 65535) return std::nullopt;
    return static_cast<std::uint32_t>(id);
}

}  // namespace platform
