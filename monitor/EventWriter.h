#pragma once
// Records of the program's own event source in the Application log. The
// source key is rewritten before every record; WriteEventWithDll first
// installs the message-file library that shows the record's text.
#include <string>

namespace EventWriter {

inline constexpr long kOwnEventId = 10177;

// The message file registered is the running program itself. An event ID
// of 0 means 10177. True when the record was written.
bool WriteEvent(const std::string& sMessage, int iType = 4, long lEventId = 0);
// Installs and registers BrindleEventLogMsgHelper.dll; event ID 10177.
bool WriteEventWithDll(const std::string& sMessage, int iType = 4);
// Writes the library from the program's resource when the file is missing.
void InstallMessageDll();

// %systemroot%\System32\BrindleEventLogMsgHelper.dll
std::string MessageDllPath();

}  // namespace EventWriter
