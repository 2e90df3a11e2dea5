#include "modRegistry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "CommonModule.h"
#include "SetPerm.h"
#include "platform/api/Environment.h"
#include "platform/api/FileStatements.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"

namespace modRegistry {

namespace {

using CommonModule::DPrint;

// The text of a value for a log line; a value without one shows as nothing.
std::string LogText(const vb::Variant& value) {
    try {
        return value.ToText();
    } catch (const RuntimeError&) {
        return "";
    }
}

bool IsExistingFile(const std::string& path) {
    if (path.empty() || path.find_first_of("*?") != std::string::npos) return false;
    try {
        return !vb::DirList(path, 0).empty();
    } catch (const RuntimeError&) {
        return false;
    }
}

bool IsRegistryKind(const std::string& kind, const char* supported) {
    return kind.size() == 1 && std::strchr(supported, kind[0]) != nullptr;
}

// Closes an opened key when the procedure leaves, whichever way it leaves.
class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() { Close(); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    win::HKEY* Out() { return &key_; }
    win::HKEY Get() const { return key_; }
    win::LONG Close() {
        if (!key_) return 0;
        const win::LONG result = win::RegCloseKey(key_);
        key_ = 0;
        return result;
    }

private:
    win::HKEY key_ = 0;
};

// A value's data, asked for its size first, then read into a buffer of that size.
win::LONG QueryVariableData(win::HKEY key, const std::string& valueName, std::vector<win::BYTE>& data) {
    win::BYTE probe = 0;
    win::DWORD size = 0;
    win::LONG result = win::RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, &probe, &size);
    if (result == static_cast<win::LONG>(win::ERROR_MORE_DATA)) {
        data.assign(size, 0);
        result = win::RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, data.data(), &size);
        data.resize(std::min<std::size_t>(size, data.size()));
    } else if (result == 0) {
        data.clear();
    }
    return result;
}

// The data without its final NUL.
std::string WithoutLastCharacter(const std::vector<win::BYTE>& data) {
    if (data.empty()) return "";
    return std::string(data.begin(), data.end() - 1);
}

win::LONG QueryFixedData(win::HKEY key, const std::string& valueName, void* buffer, win::DWORD size) {
    return win::RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, static_cast<win::BYTE*>(buffer), &size);
}

win::LONG ReadByKind(win::HKEY key, const std::string& valueName, char kind, vb::Variant& vValue) {
    win::LONG result = 0;
    if (kind == 'S' || kind == 'M') {
        std::vector<win::BYTE> data;
        result = QueryVariableData(key, valueName, data);
        if (result == 0) vValue = WithoutLastCharacter(data);
    } else if (kind == 'B') {
        std::int16_t flag = 0;
        result = QueryFixedData(key, valueName, &flag, sizeof flag);
        if (result == 0) vValue = flag != 0;
    } else if (kind == 'D') {
        std::int32_t number = 0;
        result = QueryFixedData(key, valueName, &number, sizeof number);
        if (result == 0) vValue = static_cast<long>(number);
    }
    return result;
}

void LogRead(const std::string& heading, const std::string& sTopKey, const std::string& sKeyPath,
             const std::string& sValueName, const vb::Variant& vValue, std::int32_t result) {
    DPrint(heading);
    DPrint("\t- Passed Key: " + sTopKey + "\\" + sKeyPath);
    DPrint("\t- Passed Value: " + sValueName);
    DPrint("\t- Returned Value: " + LogText(vValue));
    DPrint("\t- lResult (0 is successful): " + std::to_string(result));
}

std::int32_t ReadIniValue(const std::string& sTopKey, const std::string& sKeyPath, const std::string& sValueName,
                          char kind, const vb::Variant& vDefault, vb::Variant& vValue) {
    if (kind == 'S') {
        std::string buffer;
        const win::DWORD count =
            win::GetPrivateProfileStringA(sKeyPath, sValueName, vDefault.ToText(), buffer, 255, sTopKey);
        vValue = buffer.substr(0, count);
        return static_cast<std::int32_t>(count);
    }
    return static_cast<std::int32_t>(win::GetPrivateProfileIntA(sKeyPath, sValueName, 0, sTopKey));
}

// The list as written back: the existing non-empty entries, then the new one.
std::string AppendedList(const std::string& sTopKey, const std::string& sKeyPath, const std::string& sValueName,
                         const std::string& newEntry) {
    vb::Variant existing;
    if (fReadValue(sTopKey, sKeyPath, sValueName, "M", std::string(), existing) != 0)
        return newEntry + std::string(2, '\0');
    std::string list;
    const std::string text = existing.ToText();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        if (end > start) list += text.substr(start, end - start) + '\0';
        start = end + 1;
    }
    return list + newEntry + '\0' + '\0';
}

win::LONG SetText(win::HKEY key, const std::string& valueName, win::DWORD type, const std::string& data) {
    return win::RegSetValueExA(key, valueName.c_str(), 0, type, reinterpret_cast<const win::BYTE*>(data.data()),
                               static_cast<win::DWORD>(data.size()));
}

win::LONG WriteByKind(win::HKEY key, const std::string& sTopKey, const std::string& sKeyPath,
                      const std::string& sValueName, char kind, const vb::Variant& vValue) {
    switch (kind) {
    case 'S':
        return SetText(key, sValueName, win::REG_SZ, vValue.ToText() + '\0');
    case 'E':
        return SetText(key, sValueName, win::REG_EXPAND_SZ, vValue.ToText() + '\0');
    case 'M':
        return SetText(key, sValueName, win::REG_MULTI_SZ, AppendedList(sTopKey, sKeyPath, sValueName, vValue.ToText()));
    default: {
        const std::int64_t number = vValue.ToNumber();
        if (number < -32768 || number > 32767) throw RuntimeError::Overflow();
        const std::int32_t dword = static_cast<std::int16_t>(number);
        return win::RegSetValueExA(key, sValueName.c_str(), 0, win::REG_DWORD,
                                   reinterpret_cast<const win::BYTE*>(&dword), sizeof dword);
    }
    }
}

void LogWriteFailure(const std::string& sTopKey, const std::string& sKeyPath, const std::string& sValueName,
                     std::int32_t result) {
    DPrint("modRegistry\\fWriteValue: ");
    DPrint("\t- Passed Key: " + sTopKey + "\\" + sKeyPath);
    DPrint("\t- Passed Value: " + sValueName);
    DPrint("\t- lResult (0 is successful): " + std::to_string(result));
}

// The names subinacl.exe gives the root keys, "" for the others.
std::string ToolPrefixOf(const std::string& sTopKey) {
    const std::string root = vb::LCase(sTopKey);
    if (root == "hklm") return "hkey_local_machine\\";
    if (root == "hkcu") return "hkey_current_user\\";
    if (root == "hku") return "hkey_users\\";
    if (root == "hkcr") return "hkey_classes_root\\";
    DPrint("modRegistry\\fDeleteValue:  TopKeys supported: HKLM, HKCU, HKU, HKCR");
    DPrint("\t- Passed: " + sTopKey);
    DPrint("\tThere may be an error in code.");
    return "";
}

void TakeOverKey(const std::string& sTopKey, const std::string& sKeyPath) {
    const std::string prefix = ToolPrefixOf(sTopKey);
    const std::string tool = CommonModule::AppPath() + "subinacl.exe";
    if (CommonModule::DoesFileExist(tool)) {
        const std::string account = vb::Environ("COMPUTERNAME") + "\\" + vb::Environ("USERNAME");
        const std::string command = tool + " /subkeyreg \"" + prefix + sKeyPath + "\"";
        for (const std::string& option : {" /setowner=" + account, " /sgrant=" + account + "=F",
                                          " /grant=" + account + "=F"}) {
            std::string message;
            CommonModule::ShellAndWaitForTermination(command + option, 0, message, 0, false);
        }
    }
    SetPerm::GetRegKeyPermissions(sTopKey, sKeyPath);
}

std::int32_t DeleteOnce(win::HKEY root, const std::string& sKeyPath, const std::string& sValueName) {
    const KeyView view = ReadingView(sKeyPath);
    OpenKey key;
    const win::LONG opened = win::RegOpenKeyExA(root, view.path.c_str(), 0, win::KEY_SET_VALUE | view.viewFlag, key.Out());
    if (opened != 0) return opened;
    return win::RegDeleteValueA(key.Get(), sValueName.c_str());
}

void LogDelete(const std::string& sTopKey, const std::string& sKeyPath, const std::string& sValueName,
               std::int32_t result) {
    DPrint("modRegistry\\fDeleteValue:");
    DPrint("\t- Passed Key: " + sTopKey + "\\" + sKeyPath);
    DPrint("\t- Passed Value: " + sValueName);
    if (result == 0)
        DPrint("\t- lResult: 0 SUCCESS");
    else if (result == 2)
        DPrint("\t- lResult: 2 NOT FOUND");
    else
        DPrint("\t- lResult (0=Success 2=Not Found): " + std::to_string(result));
}

std::string WithNulsShown(std::string text) {
    std::replace(text.begin(), text.end(), '\0', '|');
    return text;
}

// The name RegEnumKeyA put into the buffer, with its NUL.
std::string NameWithNul(const std::string& buffer) {
    const std::size_t end = buffer.find('\0');
    return buffer.substr(0, end) + '\0';
}

}  // namespace

bool Is64BitWindows() { return vb::Environ("ProgramFiles(x86)").size() >= 2; }

KeyView ReadingView(const std::string& sKeyPath) {
    if (!Is64BitWindows()) return {sKeyPath, 0};
    const std::string lower = vb::LCase(sKeyPath);
    if (lower.find("wow6432node") == std::string::npos) return {sKeyPath, win::KEY_WOW64_64KEY};
    if (lower.find("guest_") != std::string::npos) return {sKeyPath, 0};
    return {CommonModule::Strip(lower, "wow6432node\\"), 0};
}

win::HKEY fTopKey(const std::string& sTopKey) {
    const std::string root = vb::UCase(sTopKey);
    if (root == "HKCU") return win::HKEY_CURRENT_USER;
    if (root == "HKLM") return win::HKEY_LOCAL_MACHINE;
    if (root == "HKU") return win::HKEY_USERS;
    if (root == "HKDD") return win::HKEY_DYN_DATA;
    if (root == "HKCC") return win::HKEY_CURRENT_CONFIG;
    if (root == "HKCR") return win::HKEY_CLASSES_ROOT;
    return IsExistingFile(sTopKey) ? kIniFileKey : kInvalidKey;
}

std::int32_t fReadValue(const std::string& sTopKey, const std::string& sKeyPath, const std::string& sValueName,
                        const std::string& sValueType, vb::Variant vDefault, vb::Variant& vValue) {
    std::int32_t result = kNothingDone;
    vValue = vDefault;
    try {
        const win::HKEY root = fTopKey(sTopKey);
        if (root == kInvalidKey) return result;
        const std::string kind = vb::UCase(sValueType);
        if (root == kIniFileKey) {
            result = ReadIniValue(sTopKey, sKeyPath, sValueName, kind == "S" ? 'S' : ' ', vDefault, vValue);
        } else {
            if (!IsRegistryKind(kind, "SMBD")) return result;
            const KeyView view = ReadingView(sKeyPath);
            OpenKey key;
            result = win::RegOpenKeyExA(root, view.path.c_str(), 0, win::KEY_QUERY_VALUE | view.viewFlag, key.Out());
            if (result != 0) return result;
            result = ReadByKind(key.Get(), sValueName, kind[0], vValue);
            if (result != 0) return result;
            result = key.Close();
        }
        LogRead("modRegistry\\fReadValue: ", sTopKey, sKeyPath, sValueName, vValue, result);
    } catch (const RuntimeError& e) {
        CommonModule::LogError("modRegistry\\fReadValue - VB ERROR: ", e);
        LogRead("modRegistry\\fReadValue: ", sTopKey, sKeyPath, sValueName, vValue, result);
    }
    return result;
}

std::int32_t fWriteValue(const std::string& sTopKey, const std::string& sKeyPath, const std::string& sValueName,
                         const std::string& sValueType, vb::Variant vValue) {
    std::int32_t result = kNothingDone;
    try {
        const win::HKEY root = fTopKey(sTopKey);
        if (root == kInvalidKey) return result;
        const std::string kind = vb::UCase(sValueType);
        if (root == kIniFileKey) {
            if (kind != "S") return result;
            return win::WritePrivateProfileStringA(sKeyPath, sValueName, vValue.ToText(), sTopKey);
        }
        if (!IsRegistryKind(kind, "SEMD")) return result;
        const win::REGSAM view = Is64BitWindows() ? win::KEY_WOW64_64KEY : 0;
        OpenKey key;
        win::DWORD disposition = 0;
        const win::LONG created =
            win::RegCreateKeyExA(root, sKeyPath.c_str(), 0, nullptr, win::REG_OPTION_NON_VOLATILE,
                                 win::KEY_SET_VALUE | win::KEY_CREATE_SUB_KEY | view, nullptr, key.Out(), &disposition);
        if (created != 0) return created;
        const win::LONG written = WriteByKind(key.Get(), sTopKey, sKeyPath, sValueName, kind[0], vValue);
        if (written != 0) {
            LogWriteFailure(sTopKey, sKeyPath, sValueName, written);
            return written;
        }
        result = key.Close();
    } catch (const RuntimeError& e) {
        CommonModule::LogError("modRegistry\\fWriteValue - VB ERROR: ", e,
                               {{"sTopKey", sTopKey}, {"sKeyPath", sKeyPath}, {"sValueName", sValueName},
                                {"sValueType", sValueType}, {"vValue", LogText(vValue)}});
    }
    return result;
}

std::int32_t fEnumKey(const std::string& sTopKey, const std::string& sKeyPath, std::string& sKeys) {
    std::int32_t result = kNothingDone;
    try {
        const win::HKEY root = fTopKey(sTopKey);
        OpenKey key;
        if (root != kInvalidKey && root != kIniFileKey) {
            const KeyView view = ReadingView(sKeyPath);
            result = win::RegOpenKeyExA(root, view.path.c_str(), 0, win::KEY_ENUMERATE_SUB_KEYS | view.viewFlag,
                                        key.Out());
        }
        if (root == kInvalidKey || root == kIniFileKey || result != 0) {
            if (!sKeys.empty()) sKeys += '\0';
            return result;
        }
        win::LONG enumerated = 0;
        for (win::DWORD index = 0;; ++index) {
            std::string buffer(2048, ' ');
            enumerated = win::RegEnumKeyA(key.Get(), index, buffer.data(), 2048);
            if (enumerated != 0) break;
            sKeys += NameWithNul(buffer);
        }
        sKeys += '\0';
        if (sKeys.size() == 1) sKeys += '\0';
        result = key.Close();
        DPrint("modRegistry\\fEnumKey: ");
        DPrint("\t- Passed Key: " + sTopKey + "\\" + sKeyPath);
        DPrint("\t- Returned Values: " + WithNulsShown(sKeys));
        DPrint("\t- lResult (0 is successful): " + std::to_string(enumerated));
    } catch (const RuntimeError& e) {
        CommonModule::LogError("modRegistry\\fEnumKey - VB ERROR: ", e, {{"sTopKey", sTopKey}, {"sKeyPath", sKeyPath}});
    }
    return result;
}

std::int32_t fDeleteValue(const std::string& sTopKey, const std::string& sKeyPath, const std::string& sValueName,
                          bool& bNotFound) {
    std::int32_t result = kNothingDone;
    try {
        const win::HKEY root = fTopKey(sTopKey);
        if (root == kIniFileKey) {
            result = win::WritePrivateProfileStringA(sKeyPath, sValueName, std::string(), sTopKey);
        } else if (root != kInvalidKey) {
            for (int pass = 1; pass <= 2; ++pass) {
                result = DeleteOnce(root, sKeyPath, sValueName);
                if (result == 0 || result == 2 || pass == 2) break;
                TakeOverKey(sTopKey, sKeyPath);
            }
        }
    } catch (const RuntimeError& e) {
        CommonModule::LogError("modRegistry\\fDeleteValue - VB ERROR: ", e,
                               {{"sTopKey", sTopKey}, {"sKeyPath", sKeyPath}, {"sValueName", sValueName}});
    }
    if (result == 2) bNotFound = true;
    LogDelete(sTopKey, sKeyPath, sValueName, result);
    return result;
}

}  // namespace modRegistry
