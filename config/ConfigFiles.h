#pragma once
// The files the configuration window writes, apart from its controls: the
// one-line form of a typed text, the list files of the Rules folder (each
// built in memory and put in place in one step), and the rule files (all
// values of a save in one replacement, unknown keys kept).
#include <optional>
#include <string>
#include <vector>

namespace ConfigFiles {

// The path of a list file of the Rules folder, e.g. "Heartbeat_SNMP_List.txt".
std::string ListFilePath(const std::string& fileName);

// The value a settings text gives a check box when the run time assigns it:
// 0, 1 or 2; nothing for an empty text, a text that is no number, or another number.
std::optional<int> CheckBoxValue(const std::string& text);

// The text with every line break (CR LF, CR or LF) turned into one blank, so
// that a pasted text cannot add lines or sections to a file.
std::string OneLine(const std::string& text);

// Rewrites a list file whole with the entries, in order, each made one line,
// those equal to an earlier one but for letter case dropped, each line ending
// in CR LF: through a temporary file in
// its folder that then replaces it, so a reader sees the old list or the new
// one; no entries delete the file (a missing file is no error). False when
// the file could not be written or deleted.
bool WriteListFile(const std::string& sFile, const std::vector<std::string>& entries);

// The entries of a list file: its lines of at least one character; none when
// the file is missing.
std::vector<std::string> ReadListFile(const std::string& sFile);

// Whether a rule name can be the name of a rule file: no \ / : * ? " < > |,
// no control character, and not made only of dots.
bool IsValidRuleName(const std::string& sName);

struct IniValue {
    std::string section;
    std::string key;
    std::string value;
};

// Writes all values into an INI file, in order, in one replacement of the
// file. Keys not named keep their values. False when the file is read-only or
// a step fails; the file is then as it was.
bool WriteIniValues(const std::string& sFile, const std::vector<IniValue>& values);

}  // namespace ConfigFiles
