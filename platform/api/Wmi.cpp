#include "platform/api/Wmi.h"

#include "platform/api/DebugOutput.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <deque>

#include "platform/api/Environment.h"
#include "platform/api/EventLog.h"
#include "platform/host/ChangeWait.h"
#include "platform/host/HostFolder.h"
#include "platform/api/MessageTable.h"
#include "platform/api/Process.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/ServiceControl.h"
#include "platform/api/SystemInfo.h"
#include "platform/host/Text.h"

namespace wmi {

namespace {

// --- text -------------------------------------------------------------------------
bool StartsWithText(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && platform::TextCompareEqual(text.substr(0, prefix.size()), prefix);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// --- errors -----------------------------------------------------------------------
RuntimeError InvalidQuery() { return {WBEM_E_INVALID_QUERY, "SWbemServicesEx", "Invalid query"}; }
RuntimeError InvalidClass() { return {WBEM_E_INVALID_CLASS, "SWbemServicesEx", "Invalid class"}; }
RuntimeError MonikerSyntax() { return {MK_E_SYNTAX, "SWbemLocator", "Invalid syntax"}; }
RuntimeError ObjectDoesntSupport() {
    return {OBJECT_DOESNT_SUPPORT, "SWbemObjectEx", "Object doesn't support this property or method"};
}

// --- Win32_Process ------------------------------------------------------------------
std::optional<platform::ProcessInfo> RunningProcess(long pid) {
    for (const platform::ProcessInfo& p : platform::ListProcesses())
        if (p.pid == pid) return p;
    return std::nullopt;
}

long ProcessIdOf(const Object& process) { return static_cast<long>(process.Property("ProcessId").ToNumber()); }

constexpr long kMethodAccessDenied = 2;

// CIM DATETIME, "yyyymmddHHMMSS.mmmmmm+UUU", in UTC.
std::string CimDateTime(std::int64_t seconds, std::int64_t microseconds = 0);

std::vector<Object> ProcessInstances(const ClassProvider& cls) {
    std::vector<Object> result;
    for (const platform::ProcessInfo& p : platform::ListProcesses()) {
        vb::Variant path = p.executablePath.empty() ? vb::Variant(vb::Null{}) : vb::Variant(p.executablePath);
        result.emplace_back(cls, std::vector<PropertyValue>{
                                     {"Caption", p.imageName},
                                     {"CreationDate", CimDateTime(p.startMicroseconds / 1000000, p.startMicroseconds)},
                                     {"Description", p.imageName},
                                     {"ExecutablePath", path},
                                     {"Handle", std::to_string(p.pid)},
                                     {"Name", p.imageName},
                                     {"ProcessId", static_cast<long>(p.pid)},
                                 });
    }
    return result;
}

// GetOwner(User, Domain): the owner as the process has it now.
vb::Variant ProcessGetOwner(const Object& process, std::vector<vb::Variant>& arguments) {
    if (arguments.size() < 2) arguments.resize(2);
    const auto running = RunningProcess(ProcessIdOf(process));
    if (!running || running->ownerName.empty()) return kMethodAccessDenied;
    arguments[0] = running->ownerName;
    arguments[1] = vb::Environ("COMPUTERNAME");
    return 0L;
}

// Terminate(Reason): the reason is the exit code.
vb::Variant ProcessTerminate(const Object& process, std::vector<vb::Variant>& arguments) {
    const long reason = arguments.empty() ? 0 : static_cast<long>(arguments[0].ToNumber());
    const bool ended = platform::TerminateProcessById(static_cast<int>(ProcessIdOf(process)),
                                                       static_cast<unsigned>(reason));
    return ended ? 0L : kMethodAccessDenied;
}

// --- Win32_OperatingSystem ------------------------------------------------------------
std::string ReleaseName(const platform::HostVersion& v) {
    const bool server = v.productType > 1;
    struct Release {
        std::uint32_t major, minor;
        const char* workstation;
        const char* server;
    };
    static const Release releases[] = {
        {5, 0, "Windows 2000", "Windows 2000 Server"},
        {5, 1, "Windows XP", "Windows XP"},
        {5, 2, "Windows XP Professional x64 Edition", "Windows Server 2003"},
        {6, 0, "Windows Vista", "Windows Server 2008"},
        {6, 1, "Windows 7", "Windows Server 2008 R2"},
        {6, 2, "Windows 8", "Windows Server 2012"},
        {6, 3, "Windows 8.1", "Windows Server 2012 R2"},
        {10, 0, "Windows 10", "Windows Server 2016"},
    };
    for (const Release& r : releases)
        if (r.major == v.major && r.minor == v.minor) return server ? r.server : r.workstation;
    return "Windows";
}

std::string EditionName(std::int32_t sku) {
    switch (sku) {
        case 1: return "Ultimate";
        case 2: return "Home Basic";
        case 3: return "Home Premium";
        case 4: return "Enterprise";
        case 6: return "Business";
        case 7: return "Standard";
        case 8: return "Datacenter";
        case 11: return "Starter";
        case 48: return "Professional";
        default: return "";
    }
}

std::string OperatingSystemCaption(const platform::HostVersion& v) {
    std::string caption = "Microsoft " + ReleaseName(v);
    if (v.major >= 6 && !EditionName(v.sku).empty()) caption += " " + EditionName(v.sku);
    return caption;
}

std::vector<Object> OperatingSystemInstances(const ClassProvider& cls) {
    const platform::HostVersion v = platform::ReadHostVersion();
    const std::string build = std::to_string(v.build);
    vb::Variant csd = v.csdVersion.empty() ? vb::Variant(vb::Null{}) : vb::Variant(v.csdVersion);
    const std::string version = std::to_string(v.major) + "." + std::to_string(v.minor) + "." + build;
    return {Object(cls, {
                            {"BuildNumber", build},
                            {"Caption", OperatingSystemCaption(v)},
                            {"CSDVersion", csd},
                            {"CSName", vb::Environ("COMPUTERNAME")},
                            {"OperatingSystemSKU", static_cast<long>(v.sku)},
                            {"OSArchitecture", platform::HostIs64Bit() ? "64-bit" : "32-bit"},
                            {"OSType", 18L},
                            {"ProductType", static_cast<long>(v.productType)},
                            {"ServicePackMajorVersion", static_cast<long>(v.servicePackMajor)},
                            {"ServicePackMinorVersion", static_cast<long>(v.servicePackMinor)},
                            {"SuiteMask", static_cast<long>(v.suiteMask)},
                            {"SystemDirectory", vb::Environ("SystemRoot") + "\\system32"},
                            {"Version", version},
                            {"WindowsDirectory", vb::Environ("windir")},
                        })};
}

// --- Win32_NTLogEvent ------------------------------------------------------------------
// Type as the rules read it: the audit texts are the ones rule files name.
vb::Variant TypeText(int type) {
    switch (type) {
        case 0:
        case 4: return "Information";
        case 1: return "Error";
        case 2: return "Warning";
        case 8: return "Success Audit";
        case 16: return "Failure Audit";
        default: return vb::Null{};
    }
}

long WmiEventType(int type) {
    switch (type) {
        case 1: return 1;
        case 2: return 2;
        case 8: return 4;
        case 16: return 5;
        default: return 3;
    }
}

// CIM DATETIME, "yyyymmddHHMMSS.mmmmmm+UUU", in UTC.
std::string CimDateTime(std::int64_t seconds, std::int64_t microseconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &parts);
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%06lld+000", static_cast<long long>(microseconds % 1000000));
    return std::string(text) + fraction;
}

Object LogEventObject(const ClassProvider& cls, const platform::EventRecord& r) {
    const auto message = platform::EventRecordMessage(r);
    return Object(cls, {
                           {"Category", static_cast<long>(r.category)},
                           {"ComputerName", r.computerName},
                           {"EventCode", static_cast<long>(r.eventId & 0xFFFF)},
                           {"EventIdentifier", static_cast<long long>(r.eventId)},
                           {"EventType", WmiEventType(r.type)},
                           {"Logfile", r.log},
                           {"Message", message ? vb::Variant(*message) : vb::Variant(vb::Null{})},
                           {"RecordNumber", static_cast<long long>(r.recordNumber)},
                           {"SourceName", r.source},
                           {"TimeGenerated", CimDateTime(r.timeGenerated)},
                           {"TimeWritten", CimDateTime(r.timeWritten)},
                           {"Type", TypeText(r.type)},
                           {"User", vb::Null{}},
                       });
}

std::vector<Object> LogEventInstances(const ClassProvider& cls) {
    platform::EventLogStore store;
    std::vector<Object> result;
    for (const platform::EventRecord& r : store.AllRecords()) result.push_back(LogEventObject(cls, r));
    return result;
}

const char* ServiceStartMode(win::DWORD startType) {
    static const char* const modes[] = {"Boot", "System", "Auto", "Manual", "Disabled"};
    return startType <= 4 ? modes[startType] : "Unknown";
}

const char* ServiceStateText(win::DWORD state) {
    static const char* const states[] = {"Unknown",          "Stopped",       "Start Pending", "Stop Pending",
                                         "Running",          "Continue Pending", "Pause Pending", "Paused"};
    return state <= 7 ? states[state] : states[0];
}

std::vector<Object> ServiceInstances(const ClassProvider& cls) {
    std::vector<Object> result;
    for (const platform::ServiceRecord& s : platform::ListServices())
        result.push_back(Object(cls, {
                                         {"Caption", s.displayName},
                                         {"DisplayName", s.displayName},
                                         {"Name", s.name},
                                         {"PathName", s.imagePath},
                                         {"ServiceType", std::string(s.type & win::SERVICE_WIN32_SHARE_PROCESS
                                                                         ? "Share Process"
                                                                         : "Own Process")},
                                         {"Started", s.state == win::SERVICE_RUNNING},
                                         {"StartMode", std::string(ServiceStartMode(s.startType))},
                                         {"State", std::string(ServiceStateText(s.state))},
                                     }));
    return result;
}

const ClassProvider& CreationEventClass() {
    static const ClassProvider cls{"__InstanceCreationEvent", {"TargetInstance", "TIME_CREATED"}, nullptr, {}};
    return cls;
}

// The classes this machine answers.
const std::vector<ClassProvider>& ClassTable() {
    static const std::vector<ClassProvider> table = {
        {"Win32_Process",
         {"Caption", "CreationDate", "Description", "ExecutablePath", "Handle", "Name", "ProcessId"},
         ProcessInstances,
         {{"GetOwner", ProcessGetOwner}, {"Terminate", ProcessTerminate}}},
        {"Win32_OperatingSystem",
         {"BuildNumber", "Caption", "CSDVersion", "CSName", "OperatingSystemSKU", "OSArchitecture", "OSType",
          "ProductType", "ServicePackMajorVersion", "ServicePackMinorVersion", "SuiteMask", "SystemDirectory",
          "Version", "WindowsDirectory"},
         OperatingSystemInstances,
         {}},
        {"Win32_NTLogEvent",
         {"Category", "ComputerName", "EventCode", "EventIdentifier", "EventType", "Logfile", "Message",
          "RecordNumber", "SourceName", "TimeGenerated", "TimeWritten", "Type", "User"},
         LogEventInstances,
         {}},
        {"Win32_Service",
         {"Caption", "DisplayName", "Name", "PathName", "ServiceType", "Started", "StartMode", "State"},
         ServiceInstances,
         {}},
    };
    return table;
}

bool ClassHasProperty(const ClassProvider& cls, const std::string& name) {
    return std::any_of(cls.properties.begin(), cls.properties.end(),
                       [&](const std::string& p) { return platform::TextCompareEqual(p, name); });
}

// --- WQL reader -------------------------------------------------------------------------
struct Token {
    enum class Kind { Word, Number, Text, Symbol, End };
    Kind kind = Kind::End;
    std::string text;
};

class WqlTokens {
public:
    explicit WqlTokens(const std::string& wql) : wql_(wql) {}

    Token Next() {
        while (pos_ < wql_.size() && std::isspace(static_cast<unsigned char>(wql_[pos_]))) ++pos_;
        if (pos_ >= wql_.size()) return {Token::Kind::End, ""};
        const char c = wql_[pos_];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') return Word();
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '-' && pos_ + 1 < wql_.size() && std::isdigit(static_cast<unsigned char>(wql_[pos_ + 1]))))
            return Number();
        if (c == '\'' || c == '"') return Quoted(c);
        return Symbol();
    }

private:
    bool IsWordChar(char c) const { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

    Token Word() {
        const std::size_t start = pos_;
        while (pos_ < wql_.size() && IsWordChar(wql_[pos_])) ++pos_;
        return {Token::Kind::Word, wql_.substr(start, pos_ - start)};
    }

    Token Number() {
        const std::size_t start = pos_++;
        while (pos_ < wql_.size() && (std::isdigit(static_cast<unsigned char>(wql_[pos_])) || wql_[pos_] == '.'))
            ++pos_;
        if (pos_ < wql_.size() && IsWordChar(wql_[pos_])) throw InvalidQuery();
        return {Token::Kind::Number, wql_.substr(start, pos_ - start)};
    }

    Token Quoted(char quote) {
        std::string text;
        for (++pos_; pos_ < wql_.size(); ++pos_) {
            char c = wql_[pos_];
            if (c == quote) {
                ++pos_;
                return {Token::Kind::Text, text};
            }
            if (c == '\\') {
                if (++pos_ >= wql_.size()) break;
                c = wql_[pos_];
            }
            text += c;
        }
        throw InvalidQuery();
    }

    Token Symbol() {
        static const char* const pairs[] = {"<>", "!=", "<=", ">="};
        for (const char* pair : pairs)
            if (wql_.compare(pos_, 2, pair) == 0) {
                pos_ += 2;
                return {Token::Kind::Symbol, pair};
            }
        return {Token::Kind::Symbol, std::string(1, wql_[pos_++])};
    }

    const std::string& wql_;
    std::size_t pos_ = 0;
};

class WqlReader {
public:
    explicit WqlReader(const std::string& wql) : tokens_(wql) { Advance(); }

    WqlQuery Read() {
        WqlQuery query;
        ExpectKeyword("SELECT");
        ReadSelectList(query);
        ExpectKeyword("FROM");
        query.className = ExpectWord();
        if (current_.kind != Token::Kind::End) {
            ExpectKeyword("WHERE");
            do query.conditions.push_back(ReadCondition());
            while (AcceptKeyword("AND"));
        }
        if (current_.kind != Token::Kind::End) throw InvalidQuery();
        return query;
    }

private:
    void Advance() { current_ = tokens_.Next(); }

    bool IsKeyword(const char* keyword) const {
        return current_.kind == Token::Kind::Word && platform::TextCompareEqual(current_.text, keyword);
    }

    bool AcceptKeyword(const char* keyword) {
        if (!IsKeyword(keyword)) return false;
        Advance();
        return true;
    }

    void ExpectKeyword(const char* keyword) {
        if (!AcceptKeyword(keyword)) throw InvalidQuery();
    }

    bool AcceptSymbol(const char* symbol) {
        if (current_.kind != Token::Kind::Symbol || current_.text != symbol) return false;
        Advance();
        return true;
    }

    std::string ExpectWord() {
        if (current_.kind != Token::Kind::Word) throw InvalidQuery();
        std::string word = current_.text;
        Advance();
        return word;
    }

    void ReadSelectList(WqlQuery& query) {
        if (AcceptSymbol("*")) return;
        do query.properties.push_back(ExpectWord());
        while (AcceptSymbol(","));
    }

    WqlCondition ReadCondition() {
        WqlCondition condition;
        condition.property = ExpectWord();
        if (AcceptKeyword("IS")) {
            condition.op = AcceptKeyword("NOT") ? WqlCondition::Op::IsNotNull : WqlCondition::Op::IsNull;
            ExpectKeyword("NULL");
            return condition;
        }
        if (AcceptSymbol("="))
            condition.op = WqlCondition::Op::Equal;
        else if (AcceptSymbol("<>") || AcceptSymbol("!="))
            condition.op = WqlCondition::Op::NotEqual;
        else
            throw InvalidQuery();
        ReadLiteral(condition);
        return condition;
    }

    void ReadLiteral(WqlCondition& condition) {
        const Token literal = current_;
        Advance();
        switch (literal.kind) {
            case Token::Kind::Text: condition.literal = literal.text; return;
            case Token::Kind::Number: condition.literal = NumberValue(literal.text); return;
            case Token::Kind::Word:
                if (platform::TextCompareEqual(literal.text, "TRUE")) condition.literal = true;
                else if (platform::TextCompareEqual(literal.text, "FALSE")) condition.literal = false;
                else if (platform::TextCompareEqual(literal.text, "NULL")) condition.op = NullTest(condition.op);
                else throw InvalidQuery();
                return;
            default: throw InvalidQuery();
        }
    }

    static WqlCondition::Op NullTest(WqlCondition::Op op) {
        return op == WqlCondition::Op::Equal ? WqlCondition::Op::IsNull : WqlCondition::Op::IsNotNull;
    }

    static vb::Variant NumberValue(const std::string& text) {
        char* end = nullptr;
        if (text.find('.') == std::string::npos) {
            const long long n = std::strtoll(text.c_str(), &end, 10);
            if (*end == '\0') return n;
        } else {
            const double d = std::strtod(text.c_str(), &end);
            if (*end == '\0') return d;
        }
        throw InvalidQuery();
    }

    WqlTokens tokens_;
    Token current_;
};

void CheckPropertiesOf(const ClassProvider& cls, const WqlQuery& query) {
    for (const std::string& name : query.properties)
        if (!ClassHasProperty(cls, name)) throw InvalidQuery();
    for (const WqlCondition& condition : query.conditions)
        if (!ClassHasProperty(cls, condition.property)) throw InvalidQuery();
}

// --- comparison -----------------------------------------------------------------------
std::optional<double> NumericValue(const vb::Variant& value) {
    struct Visitor {
        std::optional<double> operator()(vb::Empty) const { return std::nullopt; }
        std::optional<double> operator()(vb::Null) const { return std::nullopt; }
        std::optional<double> operator()(bool b) const { return b ? 1.0 : 0.0; }
        std::optional<double> operator()(std::int64_t n) const { return static_cast<double>(n); }
        std::optional<double> operator()(double d) const { return d; }
        std::optional<double> operator()(const std::string& s) const {
            char* end = nullptr;
            const double d = std::strtod(s.c_str(), &end);
            if (s.empty() || *end != '\0') return std::nullopt;
            return d;
        }
    };
    return std::visit(Visitor{}, value.Raw());
}

bool SameValue(const vb::Variant& property, const vb::Variant& literal) {
    if (property.IsText() && literal.IsText()) return platform::TextCompareEqual(property.ToText(), literal.ToText());
    const auto a = NumericValue(property);
    const auto b = NumericValue(literal);
    if (a && b) return *a == *b;
    return platform::TextCompareEqual(property.ToText(), literal.ToText());
}

// --- monikers ---------------------------------------------------------------------------
bool IsOneOf(const std::string& value, std::initializer_list<const char*> choices) {
    return std::any_of(choices.begin(), choices.end(), [&](const char* c) { return platform::TextCompareEqual(value, c); });
}

bool IsPrivilegeName(std::string name) {
    if (!name.empty() && name[0] == '!') name.erase(0, 1);
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

// Items separated by commas that are not inside parentheses.
std::vector<std::string> SplitSettings(const std::string& text) {
    std::vector<std::string> items(1);
    int depth = 0;
    for (char c : text) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (depth < 0) throw MonikerSyntax();
        if (c == ',' && depth == 0)
            items.emplace_back();
        else
            items.back() += c;
    }
    if (depth != 0) throw MonikerSyntax();
    return items;
}

void ReadPrivileges(const std::string& item, Moniker& moniker) {
    const std::string inner = item.substr(1, item.size() - 2);
    if (platform::TextTrim(inner).empty()) return;
    std::string name;
    for (std::size_t i = 0; i <= inner.size(); ++i) {
        if (i == inner.size() || inner[i] == ',') {
            if (!IsPrivilegeName(platform::TextTrim(name))) throw MonikerSyntax();
            moniker.privileges.push_back(platform::TextTrim(name));
            name.clear();
        } else {
            name += inner[i];
        }
    }
}

void ReadSetting(const std::string& item, Moniker& moniker) {
    if (item.size() >= 2 && item.front() == '(' && item.back() == ')') return ReadPrivileges(item, moniker);
    const auto equals = item.find('=');
    if (equals == std::string::npos) throw MonikerSyntax();
    const std::string key = platform::TextTrim(item.substr(0, equals));
    const std::string value = platform::TextTrim(item.substr(equals + 1));
    if (platform::TextCompareEqual(key, "impersonationLevel") &&
        IsOneOf(value, {"anonymous", "identify", "impersonate", "delegate"}))
        moniker.impersonationLevel = value;
    else if (platform::TextCompareEqual(key, "authenticationLevel") &&
             IsOneOf(value, {"default", "none", "connect", "call", "pkt", "pktIntegrity", "pktPrivacy"}))
        moniker.authenticationLevel = value;
    else if (!(platform::TextCompareEqual(key, "authority") && !value.empty()))
        throw MonikerSyntax();
}

void ReadSecuritySettings(const std::string& text, Moniker& moniker) {
    if (platform::TextTrim(text).empty()) return;
    for (const std::string& item : SplitSettings(text)) {
        const std::string setting = platform::TextTrim(item);
        if (setting.empty()) throw MonikerSyntax();
        ReadSetting(setting, moniker);
    }
}

void ReadObjectPath(std::string path, Moniker& moniker) {
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        const auto end = std::find_if(path.begin() + 2, path.end(), IsSeparator);
        moniker.server = std::string(path.begin() + 2, end);
        if (moniker.server.empty()) throw MonikerSyntax();
        path.erase(path.begin(), end);
        if (!path.empty()) path.erase(0, 1);
    }
    const auto colon = path.find(':');
    if (colon != std::string::npos) {
        moniker.objectPath = path.substr(colon + 1);
        if (moniker.objectPath.empty()) throw MonikerSyntax();
        path.erase(colon);
    }
    std::replace(path.begin(), path.end(), '/', '\\');
    if (!path.empty()) moniker.nameSpace = path;
}

bool IsThisMachine(const std::string& server) {
    return IsOneOf(server, {".", "localhost", "127.0.0.1"}) || platform::TextCompareEqual(server, vb::Environ("COMPUTERNAME"));
}

}  // namespace

// --- Object -------------------------------------------------------------------------------
Object::Object(const ClassProvider& cls, std::vector<PropertyValue> properties)
    : class_(&cls), properties_(std::move(properties)) {}

Object::Object(const ClassProvider& cls, std::vector<PropertyValue> properties, std::shared_ptr<const Object> target)
    : class_(&cls), properties_(std::move(properties)), target_(std::move(target)) {}

const Object& Object::TargetInstance() const {
    if (!target_) throw ObjectDoesntSupport();
    return *target_;
}

const std::string& Object::ClassName() const { return class_->name; }

bool Object::HasProperty(const std::string& name) const {
    return std::any_of(properties_.begin(), properties_.end(),
                       [&](const PropertyValue& p) { return platform::TextCompareEqual(p.name, name); });
}

vb::Variant Object::Property(const std::string& name) const {
    for (const PropertyValue& p : properties_)
        if (platform::TextCompareEqual(p.name, name)) return p.value;
    throw ObjectDoesntSupport();
}

vb::Variant Object::ExecMethod(const std::string& name, std::vector<vb::Variant>& arguments) const {
    for (const ClassMethod& method : class_->methods)
        if (platform::TextCompareEqual(method.name, name)) return method.body(*this, arguments);
    throw ObjectDoesntSupport();
}

long Object::GetOwner(std::string& user, std::string& domain) const {
    std::vector<vb::Variant> arguments(2);
    const long result = static_cast<long>(ExecMethod("GetOwner", arguments).ToNumber());
    user = arguments[0].ToText();
    domain = arguments[1].ToText();
    return result;
}

long Object::Terminate(long reason) const {
    std::vector<vb::Variant> arguments{reason};
    return static_cast<long>(ExecMethod("Terminate", arguments).ToNumber());
}

// --- WQL ------------------------------------------------------------------------------------
WqlQuery ParseWql(const std::string& wql) { return WqlReader(wql).Read(); }

bool Matches(const Object& object, const WqlCondition& condition) {
    const vb::Variant value = object.Property(condition.property);
    const bool missing = value.IsNull() || value.IsEmpty();
    switch (condition.op) {
        case WqlCondition::Op::IsNull: return missing;
        case WqlCondition::Op::IsNotNull: return !missing;
        case WqlCondition::Op::Equal: return !missing && SameValue(value, condition.literal);
        case WqlCondition::Op::NotEqual: return !missing && !SameValue(value, condition.literal);
    }
    return false;
}

// --- monikers and the service ------------------------------------------------------------------
Moniker ParseMoniker(const std::string& text) {
    static const std::string prefix = "winmgmts:";
    if (!StartsWithText(text, prefix)) throw MonikerSyntax();
    std::string rest = text.substr(prefix.size());
    Moniker moniker;
    if (!rest.empty() && rest[0] == '{') {
        const auto close = rest.find('}');
        if (close == std::string::npos) throw MonikerSyntax();
        ReadSecuritySettings(rest.substr(1, close - 1), moniker);
        rest.erase(0, close + 1);
        if (!rest.empty() && rest[0] == '!') rest.erase(0, 1);
    }
    ReadObjectPath(rest, moniker);
    return moniker;
}

Services GetObject(const std::string& text) {
    Moniker moniker = ParseMoniker(text);
    if (!IsThisMachine(moniker.server))
        throw RuntimeError(RPC_S_SERVER_UNAVAILABLE, "SWbemLocator", "The RPC server is unavailable.");
    if (!platform::TextCompareEqual(moniker.nameSpace, "root\\cimv2"))
        throw RuntimeError(WBEM_E_INVALID_NAMESPACE, "SWbemLocator", "Invalid namespace");
    if (!moniker.objectPath.empty())
        throw RuntimeError(WBEM_E_NOT_SUPPORTED, "SWbemLocator", "Not supported");
    return Services(std::move(moniker));
}

const ClassProvider* FindClass(const std::string& className) {
    for (const ClassProvider& cls : ClassTable())
        if (platform::TextCompareEqual(cls.name, className)) return &cls;
    return nullptr;
}

ObjectSet Services::ExecQuery(const std::string& wql) const {
    const WqlQuery query = ParseWql(wql);
    const ClassProvider* cls = FindClass(query.className);
    if (!cls) throw InvalidClass();
    CheckPropertiesOf(*cls, query);
    ObjectSet result;
    for (Object& object : cls->instances(*cls)) {
        const bool keep = std::all_of(query.conditions.begin(), query.conditions.end(),
                                      [&](const WqlCondition& c) { return Matches(object, c); });
        if (keep) result.push_back(std::move(object));
    }
    return result;
}

ObjectSet Services::InstancesOf(const std::string& className) const {
    const ClassProvider* cls = FindClass(className);
    if (!cls) throw InvalidClass();
    return cls->instances(*cls);
}

// --- event-log creation events -------------------------------------------------------------
namespace {

constexpr int kRecordsPerQuery = 64;
constexpr const char* kLogEventQuery =
    "select * from __instancecreationevent where targetinstance isa 'win32_ntlogevent'";

RuntimeError WaitFailed(const std::string& why) { return {WBEM_E_FAILED, "SWbemEventSource", why}; }

std::string NormalizedQuery(const std::string& wql) {
    std::string text;
    for (char c : wql) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!text.empty() && text.back() != ' ') text += ' ';
        } else {
            text += c == '"' ? '\'' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

struct EventSource::State {
    std::unique_ptr<platform::EventLogStore> store;
    std::optional<platform::ChangeWait> changes;
    bool watchLost = false;
    bool storeRemoved = false;
    std::int64_t lastDelivered = 0;
    std::deque<platform::EventRecord> pending;

    // Why writers cannot ring the bell, or nothing: they create it when it
    // is missing, and ring only a plain file.
    static std::optional<std::string> DoorbellFault() {
        const std::string bell = (platform::EventLogDoorbellFolder() / platform::kEventLogDoorbellName).string();
        struct stat info {};
        if (::lstat(bell.c_str(), &info) != 0) {
            if (errno == ENOENT) return std::nullopt;
            return "the doorbell " + bell + " cannot be looked at: " + std::strerror(errno);
        }
        if (S_ISREG(info.st_mode)) return std::nullopt;
        const char* what = S_ISFIFO(info.st_mode)  ? "a FIFO"
                           : S_ISDIR(info.st_mode) ? "a folder"
                           : S_ISLNK(info.st_mode) ? "a symbolic link"
                                                   : "a special file";
        return "the doorbell " + bell + " is " + what + ", not a file: writers cannot ring it";
    }

    void Watch() {
        changes.emplace();
        if (!changes->IsOpen()) throw WaitFailed("inotify");
        const std::string bell = platform::EventLogDoorbellFolder().string();
        const std::string host = platform::HostFolder().string();
        // Writers ring inside the folder: anything else in its place never rings.
        struct stat info {};
        if (::lstat(bell.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            throw WaitFailed("the doorbell folder " + bell + " is not a folder");
        namespace p = platform;
        if (!changes->Watch(bell, p::kFileWritten | p::kAttributesChanged | p::kEntryCreated | p::kEntryMovedIn) ||
            !changes->Watch(host, p::kEntryDeleted | p::kEntryMovedOut))
            throw WaitFailed("inotify watch");
        if (const auto fault = DoorbellFault()) throw WaitFailed(*fault);
    }

    // Reads every queued notification; notes a removed folder or store.
    void Drain() {
        for (const platform::FolderChange& change : changes->Drain()) {
            if (change.kinds & platform::kWatchedFolderGone) watchLost = true;
            if ((change.kinds & (platform::kEntryDeleted | platform::kEntryMovedOut)) && !change.name.empty() &&
                change.name == platform::EventLogStoreFile().filename().string())
                storeRemoved = true;
        }
    }

    void Fetch() {
        if (watchLost || storeRemoved || !store->StillInPlace()) throw WaitFailed("The event log is gone");
        try {
            for (platform::EventRecord& r : store->RecordsAfter(lastDelivered, kRecordsPerQuery))
                pending.push_back(std::move(r));
        } catch (const RuntimeError& e) {
            throw WaitFailed(e.Description());
        }
    }

    void Sleep() {
        if (!QCoreApplication::instance()) {
            changes->Sleep();
            return;
        }
        QEventLoop loop;
        QSocketNotifier notifier(changes->Handle(), QSocketNotifier::Read);
        bool rang = false;
        QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
            rang = true;
            notifier.setEnabled(false);
            loop.quit();
        });
        loop.exec();
        if (!rang) throw RuntimeError(WBEM_E_CALL_CANCELLED, "SWbemEventSource", "Call cancelled");
    }
};

EventSource::EventSource() : state_(std::make_unique<State>()) {}
EventSource::~EventSource() = default;
EventSource::EventSource(EventSource&&) noexcept = default;
EventSource& EventSource::operator=(EventSource&&) noexcept = default;

Object EventSource::NextEvent() {
    State& s = *state_;
    try {
        for (;;) {
            s.Drain();
            if (s.pending.empty()) s.Fetch();
            if (!s.pending.empty()) {
                const platform::EventRecord record = std::move(s.pending.front());
                s.pending.pop_front();
                s.lastDelivered = record.sequence;
                const ClassProvider* logEvent = FindClass("Win32_NTLogEvent");
                auto target = std::make_shared<const Object>(LogEventObject(*logEvent, record));
                return Object(CreationEventClass(), {{"TIME_CREATED", CimDateTime(record.timeWritten)}}, target);
            }
            // A bell replaced during the wait wakes it; the wait never goes on deaf.
            if (const auto fault = State::DoorbellFault()) throw WaitFailed(*fault);
            s.Sleep();
        }
    } catch (const RuntimeError& e) {
        if (e.Number() != WBEM_E_CALL_CANCELLED)
            win::OutputDebugStringA("\tWMI NextEvent: cannot listen for new event-log records any more: " +
                                    e.Description());
        throw;
    }
}

EventSource Services::ExecNotificationQuery(const std::string& wql) const {
    if (NormalizedQuery(wql) != kLogEventQuery) throw InvalidQuery();
    EventSource source;
    EventSource::State& s = *source.state_;
    try {
        s.store = std::make_unique<platform::EventLogStore>();
        s.Watch();
        s.lastDelivered = s.store->LastSequence();
    } catch (const RuntimeError& e) {
        win::OutputDebugStringA("\tWMI ExecNotificationQuery: cannot listen for new event-log records: " +
                                e.Description());
        throw RuntimeError(WBEM_E_FAILED, "SWbemServicesEx", "Generic failure: " + e.Description());
    }
    // So that a run can be followed: records written from now on are delivered.
    win::OutputDebugStringA("\tWMI ExecNotificationQuery: subscribed to new event-log records after record " +
                            std::to_string(s.lastDelivered));
    return source;
}

}  // namespace wmi
