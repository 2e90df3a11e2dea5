#pragma once
// Rule matching of the monitor: one record against one rule file of the
// Rules folder, the global exclusion lists, and the alert text of a rule
// that alerts. Each rule file and list is taken as it is saved when the
// record is checked: a rule or list saved between two records counts at the
// next one.
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/api/FileStamp.h"

namespace RuleMatch {

// While a RecordCheck lives on a thread, the rule files and lists of the
// Rules folder are looked at in the folder as it was found when the check
// began (the folder resolved once for one record's checks). What was read of
// them is used again without a look at each file while the folder has been
// quiet since it was read: no entry made, removed, renamed or written.
class RecordCheck {
public:
    RecordCheck();
    ~RecordCheck();
    RecordCheck(const RecordCheck&) = delete;
    RecordCheck& operator=(const RecordCheck&) = delete;

    // The folder of the innermost check of this thread, or nullptr.
    static const platform::FolderStamps* Folder();
    // The quiet stretch the Rules folder was in when the innermost check of
    // this thread began: the same number as at an earlier look means nothing
    // in it has changed since. 0 when not known (no check, no watch).
    static std::uint64_t QuietStretch();
    // The same, for a file directly in the folder; 0 for any other.
    static std::uint64_t QuietStretchOf(const std::string& windowsPath);

    // The Rules folder as the innermost check of this thread found it, or as it is now.
    static std::string CheckedFolder();

private:
    std::string folderName_;
    std::uint64_t quietStretch_;
    mutable std::optional<platform::FolderStamps> folder_;
    RecordCheck* outer_;
};

// The program's Rules folder.
std::string RulesFolder();

// The message as the description tests see it: CR LF pairs as blanks, case-folded.
std::string PreparedMessage(const std::string& message);

// Whether the rule, as it is saved now, picks the record: its log and its
// event type are ticked, and its event ID, source and words match. A rule
// whose event type switch is not a number raises "Type mismatch".
bool RuleSelects(const std::string& sFile, const std::string& type, const std::string& code, const std::string& source,
                 const std::string& message, const std::string& log);

// The rule files of the Rules folder in folder order, as FindFiles lists
// them; the folder is listed again only when it may have changed. What is
// kept of rule files no longer in it is dropped.
std::vector<std::string> RuleFiles();

// Whether a non-empty line of the global list (a file name in Rules\) excludes
// the record; a missing list excludes nothing. procedure names the caller in
// the debug line about a list far too large to be one.
bool ListExcludes(const std::string& listName, const std::string& procedure,
                  const std::function<bool(const std::string&)>& excludes);

// The global lists, each under the name of the window's procedure that asks:
// whether a line is the record's event ID as it is, its source with letter
// case ignored, or words that its message (prepared) holds.
bool ExcludedByID(const std::string& code);
bool ExcludedBySource(const std::string& source);
bool ExcludedByDesc(const std::string& message);

// The alert text: the time of day of checked and the five labelled fields, CR LF after each.
std::string AlertTextAt(std::time_t checked, const std::string& type, const std::string& code, const std::string& source,
                        const std::string& message, const std::string& log);

}  // namespace RuleMatch
