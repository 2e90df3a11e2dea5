// Rule matching of the monitor window: every rule file of the Rules folder
// against one record, then the global exclusion lists.
#include <cstdlib>
#include <ctime>
#include <optional>

#include "common/CommonModule.h"
#include "common/clsFSO.h"
#include "frmDHM.h"
#include "platform/api/DateTime.h"
#include "platform/host/IniReadScope.h"
#include "platform/api/RuntimeError.h"
#include "platform/host/WinPath.h"
#include "platform/host/Text.h"

namespace {

using platform::TextFoldCase;
using platform::TextLower;

std::string RulesFolder() { return CommonModule::AppPath() + "Rules"; }

// The message as the description tests see it: CR LF pairs as blanks, case-folded.
std::string PreparedMessage(const std::string& message) {
    std::string text;
    text.reserve(message.size());
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
            text += ' ';
            ++i;
        } else {
            text += message[i];
        }
    }
    return TextFoldCase(text);
}

// The run time's conversion of a switch value to a number; text that is not
// a number (an empty value included) raises "Type mismatch".
double SwitchNumber(const std::string& value) {
    const auto number = platform::TextToNumber(value);
    if (!number) throw RuntimeError::TypeMismatch();
    return *number;
}

bool LogSelected(const std::string& sFile, const std::string& logName) {
    const std::string log = TextLower(logName);
    const char* key = log == "system" ? "System" : log == "application" ? "Application" : log == "security" ? "Security" : nullptr;
    return key && CommonModule::ReadIniString(sFile, "LogFile", key) == "1";
}

bool TypeSelected(const std::string& sFile, const std::string& eventType) {
    const std::string type = TextLower(eventType);
    const char* key = type == "error"           ? "Error"
                      : type == "warning"       ? "Warning"
                      : type == "success audit" ? "Success"
                      : type == "failure audit" ? "Failure"
                      : type == "information"   ? "Info"
                                                : nullptr;
    return key && SwitchNumber(CommonModule::ReadIniString(sFile, "EventType", key)) == 1;
}

// The message is prepared only for a rule that tests its words.
bool DetailsMatch(const std::string& sFile, const std::string& code, const std::string& source,
                  const std::string& message) {
    const std::string id = CommonModule::ReadIniString(sFile, "EventDetail", "EventID");
    if (!id.empty() && id != code) return false;
    const std::string wantedSource = CommonModule::ReadIniString(sFile, "EventDetail", "EventSource");
    if (!wantedSource.empty() && !platform::TextCompareEqual(wantedSource, source)) return false;
    std::optional<std::string> prepared;
    const auto occurs = [&](const std::string& words) {
        if (!prepared) prepared = PreparedMessage(message);
        return prepared->find(words) != std::string::npos;
    };
    const std::string inclusion = TextFoldCase(CommonModule::ReadIniString(sFile, "EventDetail", "EventDesc"));
    if (!inclusion.empty() && !occurs(inclusion)) return false;
    const std::string exclusion = TextFoldCase(CommonModule::ReadIniString(sFile, "EventDetail", "EventDescEx"));
    return exclusion.empty() || !occurs(exclusion);
}

// Steps 2 to 7 of a rule check. The rule's keys come from one read of its
// file, so each check sees the rule as it is saved now, read once.
bool RuleSelects(const std::string& sFile, const std::string& type, const std::string& code, const std::string& source,
                 const std::string& message, const std::string& log) {
    const platform::IniReadScope oneReadOfTheRule;
    return LogSelected(sFile, log) && TypeSelected(sFile, type) && DetailsMatch(sFile, code, source, message);
}

template <typename Excludes>
bool ListExcludes(const std::string& listName, Excludes excludes) {
    const std::string file = CommonModule::AppPath() + "Rules\\" + listName;
    if (!CommonModule::DoesFileExist(file)) return false;
    std::vector<std::string> lines;
    clsFSO().FileToArray(file, lines);
    for (const std::string& line : lines)
        if (!line.empty() && excludes(line)) return true;
    return false;
}

}  // namespace

namespace {

std::string AlertTextAt(std::time_t checked, const std::string& type, const std::string& code, const std::string& source,
                        const std::string& message, const std::string& log) {
    return vb::FormatTime(checked) + "\r\n" + "Event Log: " + log + "\r\n" + "Event Type: " + type + "\r\n" +
           "Event ID: " + code + "\r\n" + "Source Name: " + source + "\r\n" + "Message: " + message + "\r\n";
}

}  // namespace

std::string frmDHM::AlertText(const std::string& type, const std::string& code, const std::string& source,
                              const std::string& message, const std::string& log) {
    return AlertTextAt(vb::Now(), type, code, source, message, log);
}

void frmDHM::CheckAllRules(const std::string& sType, const std::string& sCode, const std::string& sSource,
                           const std::string& sMessage, const std::string& sLog) {
    // The machine's drives and settings as they are when the record is checked.
    const platform::HostIniScope oneLookAtTheMachine;
    std::vector<std::string> ruleFiles;
    CommonModule::FindFiles(RulesFolder(), "*.DAT", ruleFiles, false);
    for (const std::string& ruleFile : ruleFiles) {
        if (ruleFile.empty()) continue;
        try {
            CheckRule(ruleFile, sType, sCode, sSource, sMessage, sLog);
        } catch (const RuntimeError&) {
            // An error ends the check of that one rule.
        }
    }
}

void frmDHM::CheckRule(std::string sFile, std::string sEventType, std::string sEventCode, std::string sEventSource,
                       std::string sEventMsg, std::string sEventLogName) {
    // The alert carries the time the check began; its text is made only for a rule that alerts.
    const std::time_t checked = vb::Now();
    if (!RuleSelects(sFile, sEventType, sEventCode, sEventSource, sEventMsg, sEventLogName)) return;
    bool excluded = false;
    IsExcludedByID(sEventCode, excluded);
    if (excluded) return;
    IsExcludedBySource(sEventSource, excluded);
    if (excluded) return;
    IsExcludedByDesc(sEventMsg, excluded);
    if (excluded) return;
    DoAction(AlertTextAt(checked, sEventType, sEventCode, sEventSource, sEventMsg, sEventLogName));
}

void frmDHM::IsExcludedByID(const std::string& sEventCode, bool& bExcluded) {
    bExcluded = false;
    try {
        bExcluded = ListExcludes("GlobalExclusion_EventID_List.txt", [&](const std::string& line) { return line == sEventCode; });
    } catch (const RuntimeError&) {
    }
}

void frmDHM::IsExcludedBySource(const std::string& sEventSource, bool& bExcluded) {
    bExcluded = false;
    try {
        bExcluded = ListExcludes("GlobalExclusion_EventSource_List.txt",
                                 [&](const std::string& line) { return platform::TextCompareEqual(line, sEventSource); });
    } catch (const RuntimeError&) {
    }
}

void frmDHM::IsExcludedByDesc(const std::string& sEventMsg, bool& bExcluded) {
    bExcluded = false;
    const std::string message = PreparedMessage(sEventMsg);
    try {
        bExcluded = ListExcludes("GlobalExclusion_EventDesc_List.txt",
                                 [&](const std::string& line) { return message.find(TextFoldCase(line)) != std::string::npos; });
    } catch (const RuntimeError&) {
    }
}
