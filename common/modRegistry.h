#pragma once
// Registry access of the common library: reading, writing, listing subkeys
// and deleting values under a root key named by a short text ("HKLM"), each
// procedure choosing the registry view itself. A root-key text that is the
// path of an existing file turns the procedures into INI accessors.
#include <cstdint>
#include <string>

#include "platform/api/Registry.h"
#include "platform/api/Variant.h"

// The program's own key, which holds the client details and the cloud server.
inline constexpr const char* kClientInfoRootKey = "HKLM";
inline constexpr const char* kClientInfoKeyPath = "Software\\Brindle Works\\Quarnel";

namespace modRegistry {

// fTopKey's answer for a root-key text that names an existing file.
inline constexpr win::HKEY kIniFileKey = 1;
// fTopKey's answer for a root-key text that is neither a root key nor a file.
inline constexpr win::HKEY kInvalidKey = 0;
// The result of a call that did nothing.
inline constexpr std::int32_t kNothingDone = 99;

bool Is64BitWindows();

// The key path and the view flag that reading, listing and deleting open a key with.
struct KeyView {
    std::string path;
    win::REGSAM viewFlag = 0;
};
KeyView ReadingView(const std::string& sKeyPath);

win::HKEY fTopKey(const std::string& sTopKey);

// Kinds: "S" text, "M" list of texts (entries NUL-separated, one NUL after
// the last), "B" Boolean in two bytes, "D" 32-bit number.
std::int32_t fReadValue(const std::string& sTopKey, const std::string& sKeyPath, const std::string& sValueName,
                        const std::string& sValueType, vb::Variant vDefault, vb::Variant& vValue);
// Kinds: "S", "E" expandable text, "M" (appends vValue to the list), "D" (0 to 32767).
std::int32_t fWriteValue(const std::string& sTopKey, const std::string& sKeyPath, const std::string& sValueName,
                         const std::string& sValueType, vb::Variant vValue);
// Appends each subkey name with its NUL, then one NUL ("A\0B\0\0"; "\0\0" for none).
std::int32_t fEnumKey(const std::string& sTopKey, const std::string& sKeyPath, std::string& sKeys);
// Tries once more after taking the key over when the first deletion is refused.
std::int32_t fDeleteValue(const std::string& sTopKey, const std::string& sKeyPath, const std::string& sValueName,
                          bool& bNotFound);

}  // namespace modRegistry
