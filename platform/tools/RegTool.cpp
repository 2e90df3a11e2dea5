#include "platform/tools/RegTool.h"

#include <cstdio>
#include <iostream>
#include <istream>
#include <optional>
#include <ostream>

#include "platform/api/Program.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"
#include "platform/host/HostFolder.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace platform {
namespace {

using win::DWORD;
using win::HKEY;
using win::LONG;
using Bytes = std::vector<std::uint8_t>;

const char* const kNotFound = "ERROR: The system was unable to find the specified registry key or value.";
const char* const kDone = "The operation completed successfully.";
const char* const kCanceled = "The operation was canceled by the user.";

struct Request {
    std::string operation;  // QUERY, ADD, DELETE
    std::string keyText;    // as given, without trailing backslashes
    HKEY root = 0;
    std::string subKey;
    std::optional<std::string> valueName;  // /v NAME, or "" for /ve
    bool allValues = false;                // /va
    std::string type = "REG_SZ";
    std::string data;
    bool hasData = false;
    char separator = '\0';
    bool force = false;
    win::REGSAM view = win::KEY_WOW64_64KEY;
};

class Failure {
public:
    explicit Failure(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const { return message_; }

private:
    std::string message_;
};

Failure SyntaxError(const std::string& operation) {
    return Failure("ERROR: Invalid syntax.\nType \"REG " + operation + " /?\" for usage.");
}

Failure ResultError(LONG code) {
    if (code == static_cast<LONG>(win::ERROR_FILE_NOT_FOUND)) return Failure(kNotFound);
    return Failure("ERROR: " + SystemErrorText(static_cast<DWORD>(code)));
}

void Check(LONG code) {
    if (code != static_cast<LONG>(win::ERROR_SUCCESS)) throw ResultError(code);
}

void ParseKey(Request& request, const std::string& text) {
    std::string key = text;
    while (!key.empty() && key.back() == '\\') key.pop_back();
    const std::size_t slash = key.find('\\');
    request.root = RegistryRootOf(key.substr(0, slash));
    if (request.root == 0)
        throw Failure("ERROR: Invalid key name.\nType \"REG " + request.operation + " /?\" for usage.");
    request.subKey = slash == std::string::npos ? "" : key.substr(slash + 1);
    request.keyText = RegistryRootName(request.root) + (request.subKey.empty() ? "" : "\\" + request.subKey);
}

Request Parse(const std::vector<std::string>& arguments) {
    if (arguments.empty()) throw Failure("ERROR: Invalid syntax.\nType \"REG /?\" for usage.");
    Request request;
    request.operation = TextUpper(arguments[0]);
    if (request.operation != "QUERY" && request.operation != "ADD" && request.operation != "DELETE")
        throw Failure("ERROR: Invalid syntax.\nType \"REG /?\" for usage.");
    if (arguments.size() < 2) throw SyntaxError(request.operation);
    ParseKey(request, arguments[1]);
    const bool adding = request.operation == "ADD";
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        const std::string option = TextUpper(arguments[i]);
        const bool hasNext = i + 1 < arguments.size();
        if (option == "/V" && hasNext && !request.valueName) request.valueName = arguments[++i];
        else if (option == "/VE" && !request.valueName) request.valueName = "";
        else if (option == "/VA" && request.operation == "DELETE") request.allValues = true;
        else if (option == "/T" && hasNext && adding) request.type = TextUpper(arguments[++i]);
        else if (option == "/D" && hasNext && adding) {
            request.data = arguments[++i];
            request.hasData = true;
        } else if (option == "/S" && hasNext && adding && arguments[i + 1].size() == 1) request.separator = arguments[++i][0];
        else if (option == "/F" && request.operation != "QUERY") request.force = true;
        else if (option == "/REG:32") request.view = win::KEY_WOW64_32KEY;
        else if (option == "/REG:64") request.view = win::KEY_WOW64_64KEY;
        else throw SyntaxError(request.operation);
    }
    if (request.allValues && request.valueName) throw SyntaxError(request.operation);
    return request;
}

class Key {
public:
    Key(HKEY root, const std::string& subKey, win::REGSAM rights) {
        Check(win::RegOpenKeyExA(root, subKey.c_str(), 0, rights, &handle_));
    }
    Key(HKEY root, const std::string& subKey, win::REGSAM rights, bool /*create*/) {
        Check(win::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, win::REG_OPTION_NON_VOLATILE, rights, nullptr,
                                   &handle_, nullptr));
    }
    ~Key() { win::RegCloseKey(handle_); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Handle() const { return handle_; }

private:
    HKEY handle_ = 0;
};

struct Value {
    std::string name;
    DWORD type = 0;
    Bytes data;
};

std::vector<Value> ValuesOf(HKEY key) {
    std::vector<Value> values;
    for (DWORD index = 0;; ++index) {
        std::vector<char> name(16384);
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = 0;
        Value value;
        LONG rc = win::RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &value.type, nullptr, &dataLength);
        if (rc == static_cast<LONG>(win::ERROR_NO_MORE_ITEMS)) break;
        Check(rc);
        value.name.assign(name.data(), nameLength);
        value.data.resize(dataLength);
        nameLength = static_cast<DWORD>(name.size());
        rc = win::RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &value.type, value.data.data(),
                                &dataLength);
        Check(rc);
        value.data.resize(dataLength);
        values.push_back(std::move(value));
    }
    return values;
}

std::vector<std::string> SubKeysOf(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        const LONG rc = win::RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == static_cast<LONG>(win::ERROR_NO_MORE_ITEMS)) break;
        Check(rc);
        names.emplace_back(name, length);
    }
    return names;
}

std::string KindName(DWORD type) {
    static const char* const names[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    return type < std::size(names) ? names[type] : "0x" + std::to_string(type);
}

std::string HexBytes(const Bytes& data) {
    std::string text;
    char pair[3];
    for (std::uint8_t byte : data) {
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

std::string NumberText(const Bytes& data, std::size_t size) {
    unsigned long long number = 0;
    for (std::size_t i = 0; i < size; ++i) number |= static_cast<unsigned long long>(data[i]) << (8 * i);
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", number);
    return text;
}

std::string DataText(const Value& value) {
    const std::string raw(value.data.begin(), value.data.end());
    switch (value.type) {
        case win::REG_SZ:
        case win::REG_EXPAND_SZ: return raw.substr(0, raw.find('\0'));
        case win::REG_MULTI_SZ: {
            std::string text;
            std::size_t start = 0;
            while (start < raw.size() && raw[start] != '\0') {
                const std::size_t end = std::min(raw.find('\0', start), raw.size());
                if (!text.empty()) text += "\\0";
                text += raw.substr(start, end - start);
                start = end + 1;
            }
            return text;
        }
        case win::REG_DWORD:
            if (value.data.size() == 4) return NumberText(value.data, 4);
            break;
        case win::REG_QWORD:
            if (value.data.size() == 8) return NumberText(value.data, 8);
            break;
        default: break;
    }
    return HexBytes(value.data);
}

void PrintValue(std::ostream& out, const Value& value) {
    out << "    " << (value.name.empty() ? "(Default)" : value.name) << "    " << KindName(value.type) << "    "
        << DataText(value) << "\n";
}

int Query(const Request& request, std::ostream& out) {
    Key key(request.root, request.subKey, win::KEY_READ | request.view);
    std::vector<Value> values = ValuesOf(key.Handle());
    if (request.valueName) {
        std::erase_if(values, [&](const Value& value) { return !TextCompareEqual(value.name, *request.valueName); });
        if (values.empty()) throw Failure(kNotFound);
    }
    out << "\n";
    if (!values.empty()) {
        out << request.keyText << "\n";
        for (const Value& value : values) PrintValue(out, value);
        out << "\n";
    }
    if (!request.valueName)
        for (const std::string& name : SubKeysOf(key.Handle())) out << request.keyText << "\\" << name << "\n";
    return 0;
}

bool Confirmed(const std::string& question, std::ostream& out, std::istream& in) {
    out << question << " " << std::flush;
    std::string answer;
    if (!std::getline(in, answer)) {
        out << "\n";
        return false;
    }
    answer = TextUpper(answer);
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) answer.pop_back();
    return answer == "Y" || answer == "YES";
}

Bytes NumberData(const std::string& text, const std::string& operation, int size) {
    const auto number = RegNumber(text, size);
    if (!number) throw SyntaxError(operation);
    Bytes data(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*number >> (8 * i));
    return data;
}

Bytes BinaryData(const std::string& text, const std::string& operation) {
    if (text.size() % 2 != 0) throw SyntaxError(operation);
    Bytes data;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        if (!std::isxdigit(static_cast<unsigned char>(pair[0])) || !std::isxdigit(static_cast<unsigned char>(pair[1])))
            throw SyntaxError(operation);
        data.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    }
    return data;
}

Bytes MultiData(const std::string& text, char separator) {
    std::vector<std::string> entries;
    if (separator != '\0') {
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = std::min(text.find(separator, start), text.size());
            entries.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    } else {
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = std::min(text.find("\\0", start), text.size());
            entries.push_back(text.substr(start, end - start));
            start = end + 2;
        }
    }
    Bytes data;
    for (const std::string& entry : entries) {
        if (entry.empty()) continue;
        data.insert(data.end(), entry.begin(), entry.end());
        data.push_back(0);
    }
    if (data.empty()) data.push_back(0);
    data.push_back(0);
    return data;
}

std::pair<DWORD, Bytes> ValueData(const Request& request) {
    const std::string& op = request.operation;
    if (request.type == "REG_SZ" || request.type == "REG_EXPAND_SZ") {
        Bytes data(request.data.begin(), request.data.end());
        data.push_back(0);
        return {request.type == "REG_SZ" ? win::REG_SZ : win::REG_EXPAND_SZ, data};
    }
    if (request.type == "REG_MULTI_SZ") return {win::REG_MULTI_SZ, MultiData(request.data, request.separator)};
    const std::string number = request.hasData ? request.data : "0";
    if (request.type == "REG_DWORD") return {win::REG_DWORD, NumberData(number, op, 4)};
    if (request.type == "REG_QWORD") return {win::REG_QWORD, NumberData(number, op, 8)};
    if (request.type == "REG_BINARY") return {win::REG_BINARY, BinaryData(request.data, op)};
    throw SyntaxError(op);
}

bool ValueExists(HKEY key, const std::string& name) {
    return win::RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           static_cast<LONG>(win::ERROR_SUCCESS);
}

int Add(const Request& request, std::ostream& out, std::istream& in) {
    const auto [type, data] = ValueData(request);
    Key key(request.root, request.subKey, win::KEY_READ | win::KEY_WRITE | request.view, true);
    if (request.valueName) {
        const std::string& name = *request.valueName;
        if (!request.force && ValueExists(key.Handle(), name) &&
            !Confirmed("Value " + (name.empty() ? std::string("(Default)") : name) + " exists, overwrite(Yes/No)?", out, in)) {
            out << kCanceled << "\n";
            return 0;
        }
        Check(win::RegSetValueExA(key.Handle(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())));
    }
    out << kDone << "\n";
    return 0;
}

void DeleteTree(HKEY parent, const std::string& name, win::REGSAM view) {
    {
        Key key(parent, name, win::KEY_READ | win::DELETE | view);
        for (const std::string& child : SubKeysOf(key.Handle())) DeleteTree(key.Handle(), child, view);
    }
    Check(win::RegDeleteKeyExA(parent, name.c_str(), view, 0));
}

int Delete(const Request& request, std::ostream& out, std::istream& in) {
    if (request.valueName) {
        Key key(request.root, request.subKey, win::KEY_SET_VALUE | win::KEY_QUERY_VALUE | request.view);
        const std::string& name = *request.valueName;
        if (!ValueExists(key.Handle(), name)) throw Failure(kNotFound);
        if (!request.force && !Confirmed("Delete the registry value " + (name.empty() ? std::string("(Default)") : name) + " (Yes/No)?", out, in)) {
            out << kCanceled << "\n";
            return 0;
        }
        Check(win::RegDeleteValueA(key.Handle(), name.c_str()));
    } else if (request.allValues) {
        Key key(request.root, request.subKey, win::KEY_SET_VALUE | win::KEY_QUERY_VALUE | request.view);
        if (!request.force && !Confirmed("Delete all values under the registry key " + request.keyText + " (Yes/No)?", out, in)) {
            out << kCanceled << "\n";
            return 0;
        }
        for (const Value& value : ValuesOf(key.Handle())) Check(win::RegDeleteValueA(key.Handle(), value.name.c_str()));
    } else {
        if (request.subKey.empty()) throw Failure("ERROR: Access is denied.");
        { Key exists(request.root, request.subKey, win::KEY_READ | request.view); }
        if (!request.force && !Confirmed("Permanently delete the registry key " + request.keyText + " (Yes/No)?", out, in)) {
            out << kCanceled << "\n";
            return 0;
        }
        DeleteTree(request.root, request.subKey, request.view);
    }
    out << kDone << "\n";
    return 0;
}

}  // namespace

std::optional<std::uint64_t> RegNumber(const std::string& text, int size) {
    if (text.empty() || (size != 4 && size != 8)) return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const std::uint64_t largest = size == 8 ? ~0ull : 0xFFFFFFFFull;
    const unsigned base = hex ? 16 : 10;
    std::uint64_t number = 0;
    for (char c : digits) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : (hex && std::isxdigit(static_cast<unsigned char>(c))) ? std::toupper(c) - 'A' + 10
                                                                                   : -1;
        if (digit < 0 || number > (largest - static_cast<unsigned>(digit)) / base) return std::nullopt;
        number = number * base + static_cast<unsigned>(digit);
    }
    return number;
}

int RunRegTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err, std::istream& in) {
    try {
        const Request request = Parse(arguments);
        if (request.operation == "QUERY") return Query(request, out);
        if (request.operation == "ADD") return Add(request, out, in);
        return Delete(request, out, in);
    } catch (const Failure& failure) {
        err << failure.Message() << "\n";
        return 1;
    }
}

int RegToolMain(int argc, char** argv) {
    UseHostForShortProcess();
    InitProgram(argc, argv);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return RunRegTool(arguments, std::cout, std::cerr, std::cin);
}

}  // namespace platform
