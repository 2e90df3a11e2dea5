#include "monitor/RuleMatch.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "common/CommonModule.h"
#include "common/clsFSO.h"
#include "platform/api/DateTime.h"
#include "platform/api/EventLoop.h"
#include "platform/api/FileStamp.h"
#include "platform/api/FolderWatch.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/Strings.h"


namespace RuleMatch {

std::string RulesFolder() { return CommonModule::AppPath() + "Rules"; }

namespace {
thread_local RecordCheck* innermostCheck = nullptr;

platform::FolderWatch& RulesFolderWatch() {
    static platform::FolderWatch watch;
    return watch;
}
}  // namespace

RecordCheck::RecordCheck()
    : folderName_(RulesFolder()), quietStretch_(RulesFolderWatch().Look(folderName_)), outer_(innermostCheck) {
    innermostCheck = this;
}
RecordCheck::~RecordCheck() { innermostCheck = outer_; }

// Made at the first file that needs a look of its own.
const platform::FolderStamps* RecordCheck::Folder() {
    if (!innermostCheck) return nullptr;
    if (!innermostCheck->folder_) innermostCheck->folder_.emplace(innermostCheck->folderName_);
    return &*innermostCheck->folder_;
}

std::string RecordCheck::CheckedFolder() { return innermostCheck ? innermostCheck->folderName_ : RulesFolder(); }

std::uint64_t RecordCheck::QuietStretch() { return innermostCheck ? innermostCheck->quietStretch_ : 0; }

std::uint64_t RecordCheck::QuietStretchOf(const std::string& windowsPath) {
    const std::uint64_t stretch = QuietStretch();
    return stretch != 0 && platform::EntryNameIn(innermostCheck->folderName_, windowsPath) ? stretch : 0;
}

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
    return platform::CaseFoldKey(text);
}

}  // namespace RuleMatch

namespace {

// The run time's conversion of a switch value to a number; text that is not
// a number (an empty value included) raises "Type mismatch".
double SwitchNumber(const std::string& value) {
    const auto number = vb::CDblOf(value);
    if (!number) throw RuntimeError::TypeMismatch();
    return *number;
}

// Far more than a rule file or list can hold as the configuration window
// writes them (a rule is a dozen values of at most 255 characters): a larger
// file in Rules\ is skipped rather than read for every record.
constexpr std::int64_t kLargestFileRead = 8 * 1024 * 1024;

// What was last read of one file of Rules\ and the stamp it had before that
// read. It is used again only while the file keeps a settled stamp, so a
// rule or list saved between two records counts at the next one.
struct FileMemo {
    platform::FileStamp stamp;
    platform::FileStamp toldTooLarge;  // the version of the file last reported as skipped
    std::uint64_t quietStretch = 0;    // the folder's, when the file was last looked at
    bool skipped = false;
};

enum class Look { Reuse, Read, Skip };

platform::FileStamp StampNow(const std::string& file) {
    if (const platform::FolderStamps* folder = RuleMatch::RecordCheck::Folder())
        if (const auto stamp = folder->StampOf(file)) return *stamp;
    return platform::StampOfFile(file);
}

bool SameVersion(platform::FileStamp a, platform::FileStamp b) {
    a.settled = b.settled = false;
    return a == b;
}

// Takes the file's stamp before it is read: the stamp is kept with what is
// read. A file too large is reported once per version of it. A file looked
// at in the folder's present quiet stretch is as it was then. After a Read,
// the caller marks the memo with the stretch once it holds what was read.
Look LookAt(FileMemo& memo, const std::string& file, platform::FileStamp& now, std::uint64_t& stretch,
            const std::string& procedure, const char* what) {
    stretch = RuleMatch::RecordCheck::QuietStretchOf(file);
    if (stretch != 0 && stretch == memo.quietStretch) return memo.skipped ? Look::Skip : Look::Reuse;
    memo.quietStretch = 0;
    now = StampNow(file);
    memo.skipped = now.regular && now.size > kLargestFileRead;
    if (memo.skipped) {
        if (!SameVersion(now, memo.toldTooLarge))
            CommonModule::DPrint(procedure + ": skipped " + std::string(what) + " of " + std::to_string(now.size) +
                                 " bytes, far larger than one can be: " + file);
        memo.toldTooLarge = now;
        memo.quietStretch = stretch;
        return Look::Skip;
    }
    if (!now.regular || !now.settled || now != memo.stamp) return Look::Read;
    memo.quietStretch = stretch;
    return Look::Reuse;
}

// The keys a rule check reads, all from one read of the file.
struct RuleValues {
    std::string system, application, security;
    std::string error, warning, success, failure, info;
    std::string id, source, desc, descEx;
};

RuleValues ReadRule(const std::string& sFile) {
    const auto value = [&](const char* section, const char* key) { return CommonModule::ReadIniString(sFile, section, key); };
    RuleValues rule;
    rule.system = value("LogFile", "System");
    rule.application = value("LogFile", "Application");
    rule.security = value("LogFile", "Security");
    rule.error = value("EventType", "Error");
    rule.warning = value("EventType", "Warning");
    rule.success = value("EventType", "Success");
    rule.failure = value("EventType", "Failure");
    rule.info = value("EventType", "Info");
    rule.id = value("EventDetail", "EventID");
    rule.source = value("EventDetail", "EventSource");
    rule.desc = value("EventDetail", "EventDesc");
    rule.descEx = value("EventDetail", "EventDescEx");
    return rule;
}

struct RuleMemo : FileMemo {
    RuleValues values;
};

// By the rule file's path; a file no longer in the folder is forgotten.
std::map<std::string, RuleMemo>& RuleMemos() {
    static std::map<std::string, RuleMemo> memos;
    return memos;
}

// The rule as it is saved now; nothing for a file too large to be a rule.
const RuleValues* CurrentRule(const std::string& sFile) {
    RuleMemo& memo = RuleMemos()[sFile];
    platform::FileStamp now;
    std::uint64_t stretch = 0;
    switch (LookAt(memo, sFile, now, stretch, "frmDHM\\CheckRule", "a rule file")) {
        case Look::Skip:
            return nullptr;
        case Look::Read:
            memo.values = ReadRule(sFile);
            memo.stamp = now;
            memo.quietStretch = stretch;
            break;
        case Look::Reuse:
            break;
    }
    return &memo.values;
}

bool LogSelected(const RuleValues& rule, const std::string& logName) {
    const std::string log = vb::LCase(logName);
    const std::string* value = log == "system"        ? &rule.system
                               : log == "application" ? &rule.application
                               : log == "security"    ? &rule.security
                                                      : nullptr;
    return value && *value == "1";
}

bool TypeSelected(const RuleValues& rule, const std::string& eventType) {
    const std::string type = vb::LCase(eventType);
    const std::string* value = type == "error"           ? &rule.error
                               : type == "warning"       ? &rule.warning
                               : type == "success audit" ? &rule.success
                               : type == "failure audit" ? &rule.failure
                               : type == "information"   ? &rule.info
                                                         : nullptr;
    return value && SwitchNumber(*value) == 1;
}

// The message is prepared only for a rule that tests its words.
bool DetailsMatch(const RuleValues& rule, const std::string& code, const std::string& source,
                  const std::string& message) {
    if (!rule.id.empty() && rule.id != code) return false;
    if (!rule.source.empty() && vb::StrComp(rule.source, source, vb::vbTextCompare) != 0) return false;
    std::optional<std::string> prepared;
    const auto occurs = [&](const std::string& words) {
        if (!prepared) prepared = RuleMatch::PreparedMessage(message);
        return prepared->find(words) != std::string::npos;
    };
    const std::string inclusion = platform::CaseFoldKey(rule.desc);
    if (!inclusion.empty() && !occurs(inclusion)) return false;
    const std::string exclusion = platform::CaseFoldKey(rule.descEx);
    return exclusion.empty() || !occurs(exclusion);
}

struct ListLines {
    std::vector<std::string> lines;
    std::vector<std::string> folded;  // each line case-folded, as the description list compares them
};

std::shared_ptr<const ListLines> LinesOf(std::vector<std::string> lines) {
    auto list = std::make_shared<ListLines>();
    list->folded.reserve(lines.size());
    for (const std::string& line : lines) list->folded.push_back(platform::CaseFoldKey(line));
    list->lines = std::move(lines);
    return list;
}

struct ListMemo : FileMemo {
    std::shared_ptr<const ListLines> lines = LinesOf({});
};

std::map<std::string, ListMemo>& ListMemos() {
    static std::map<std::string, ListMemo> memos;
    return memos;
}

std::vector<std::string> ReadList(const std::string& file) {
    std::vector<std::string> lines;
    if (CommonModule::DoesFileExist(file)) clsFSO().FileToArray(file, lines);
    return lines;
}

// The list's lines as it is saved now; none for a missing list or one too large to be one.
std::shared_ptr<const ListLines> CurrentList(const std::string& file, const std::string& procedure) {
    ListMemo& memo = ListMemos()[file];
    platform::FileStamp now;
    std::uint64_t stretch = 0;
    switch (LookAt(memo, file, now, stretch, procedure, "an exclusion list")) {
        case Look::Skip:
            return LinesOf({});
        case Look::Read:
            // Reading may let window messages run, and a check nested in them
            // may read the list too: what this read found is kept whole, with its stamp.
            memo.lines = LinesOf(now.exists ? ReadList(file) : std::vector<std::string>());
            memo.stamp = now;
            memo.quietStretch = stretch;
            break;
        case Look::Reuse:
            break;
    }
    return memo.lines;
}

// A file of the Rules folder, by its name: in the folder of the check under way.
std::string RulesFile(const std::string& name) {
    return RuleMatch::RecordCheck::CheckedFolder() + "\\" + name;
}

std::shared_ptr<const ListLines> GlobalList(const std::string& listName, const std::string& procedure) {
    return CurrentList(RulesFile(listName), procedure);
}

// Drops what is kept of rule files that are no longer in the folder.
void ForgetRulesNotIn(const std::vector<std::string>& ruleFiles) {
    std::vector<std::string_view> present(ruleFiles.begin(), ruleFiles.end());
    std::sort(present.begin(), present.end());
    std::erase_if(RuleMemos(), [&](const auto& memo) {
        return !std::binary_search(present.begin(), present.end(), std::string_view(memo.first));
    });
}

}  // namespace

namespace RuleMatch {

std::vector<std::string> RuleFiles() {
    struct Listing {
        std::uint64_t quietStretch = 0;
        std::vector<std::string> files;
    };
    static Listing listing;
    const std::uint64_t stretch = RecordCheck::QuietStretch();
    if (stretch != 0 && stretch == listing.quietStretch) {
        // As the listing would: window messages are let run once per pattern.
        vb::DoEvents();
        return listing.files;
    }
    std::vector<std::string> files;
    CommonModule::FindFiles(RecordCheck::CheckedFolder(), "*.DAT", files, false);
    ForgetRulesNotIn(files);
    listing = {stretch, files};
    return files;
}

bool RuleSelects(const std::string& sFile, const std::string& type, const std::string& code, const std::string& source,
                 const std::string& message, const std::string& log) {
    const RuleValues* rule = CurrentRule(sFile);
    return rule && LogSelected(*rule, log) && TypeSelected(*rule, type) && DetailsMatch(*rule, code, source, message);
}

bool ListExcludes(const std::string& listName, const std::string& procedure,
                  const std::function<bool(const std::string&)>& excludes) {
    const auto list = GlobalList(listName, procedure);
    for (const std::string& line : list->lines)
        if (!line.empty() && excludes(line)) return true;
    return false;
}

bool ExcludedByID(const std::string& code) {
    return ListExcludes("GlobalExclusion_EventID_List.txt", "frmDHM\\IsExcludedByID",
                        [&](const std::string& line) { return line == code; });
}

bool ExcludedBySource(const std::string& source) {
    return ListExcludes("GlobalExclusion_EventSource_List.txt", "frmDHM\\IsExcludedBySource",
                        [&](const std::string& line) { return vb::StrComp(line, source, vb::vbTextCompare) == 0; });
}

bool ExcludedByDesc(const std::string& message) {
    const std::string prepared = PreparedMessage(message);
    const auto list = GlobalList("GlobalExclusion_EventDesc_List.txt", "frmDHM\\IsExcludedByDesc");
    for (std::size_t i = 0; i < list->lines.size(); ++i)
        if (!list->lines[i].empty() && prepared.find(list->folded[i]) != std::string::npos) return true;
    return false;
}

std::string AlertTextAt(std::time_t checked, const std::string& type, const std::string& code, const std::string& source,
                        const std::string& message, const std::string& log) {
    return vb::FormatTime(checked) + "\r\n" + "Event Log: " + log + "\r\n" + "Event Type: " + type + "\r\n" +
           "Event ID: " + code + "\r\n" + "Source Name: " + source + "\r\n" + "Message: " + message + "\r\n";
}

}  // namespace RuleMatch
