#pragma once
// eventcreate, the Windows tool that writes one record from a shell:
//   eventcreate [/S system [/U user [/P password]]] /ID id [/L log] [/SO source] /T type /D text
// Types ERROR, WARNING, INFORMATION, SUCCESS, AUDITSUCCESS, AUDITFAILURE;
// IDs 1 to 65535. A new source is registered under the log with a message
// table that gives every ID the description as typed.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ToolResult {
    int exitCode = 0;
    std::string output;  // standard output
    std::string error;   // standard error
};

// The arguments after the program name.
ToolResult RunEventCreate(const std::vector<std::string>& arguments);

// eventcreate.exe's main(): one record, written as a short process writes it.
int EventCreateMain(int argc, char** argv);

// The event ID as typed after /ID: digits only, leading zeros as many as
// typed, the value 1 to 65535; nothing for any other text.
std::optional<std::uint32_t> EventCreateId(const std::string& typed);

// The message file eventcreate registers, as the registry holds it.
inline constexpr const char* kEventCreateMessageFile = "%SystemRoot%\\System32\\EventCreateMessages.tbl";

}  // namespace platform
