#pragma once
// Messages of event records as Windows formats them: the message file that
// the source's EventMessageFile value names (expanded, ";" between several
// files) is searched for the event ID, and the entry's %1..%99 are replaced
// by the record's insertion strings.
// Message files are PE images read for their RT_MESSAGETABLE resource
// (language 0x0409, else the first language) with every offset checked
// against the file, or the range tables that eventcreate registers: a first
// line kRangeTableHeader, then lines "<first>-<last>=<text>".
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/api/EventLog.h"
#include "platform/api/WinTypes.h"

namespace platform {

inline constexpr const char* kRangeTableHeader = "QUARNEL MESSAGE TABLE";

// The range table that gives every event ID the record's first string as
// its message, the one eventcreate registers for its sources.
std::string FirstStringRangeTable();

// Makes a message file hold exactly these bytes. One that is missing, empty,
// unreadable or holds anything else is replaced whole, so that a writer
// killed on the way leaves the old file or the new one, never a part of one.
// 0, or the Windows error of a file that could not be written.
win::DWORD KeepMessageFile(const std::filesystem::path& file, const std::string& bytes);

// The entry of the ID in a message file's bytes, as UTF-8; nothing when the
// bytes are no message file or hold no such ID.
std::optional<std::string> FindMessageInFile(std::string_view bytes, std::uint32_t messageId);
std::optional<std::string> FindMessageInPe(std::string_view bytes, std::uint32_t messageId);
std::optional<std::string> FindMessageInRangeTable(std::string_view bytes, std::uint32_t messageId);

// FormatMessage's inserts: %1..%99 (an optional !format! after the number is
// skipped), %0 ends the text, %n line break, %t tab, %r CR, %% and the like
// the character itself. An insert without a string stays as written.
std::string InsertStrings(const std::string& message, const std::vector<std::string>& strings);

// %NAME% replaced by the environment value; unknown names stay.
std::string ExpandEnvironmentStrings(const std::string& text);

// The record's formatted message, or nothing when no message file of its
// source holds its event ID.
std::optional<std::string> EventRecordMessage(const EventRecord& record);


}  // namespace platform
