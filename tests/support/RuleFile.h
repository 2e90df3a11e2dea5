#pragma once
// Alert-rule files as the monitor reads them: Rules\<name>.DAT with the
// sections LogFile, EventType and EventDetail.
#include <filesystem>
#include <string>

namespace testsupport {

struct RuleFile {
    std::string application = "1", security = "1", system = "1";
    std::string info = "1", warning = "1", error = "1", success = "1", failure = "1";
    std::string id, source, desc, descEx;
};

// The file's bytes, with Windows line ends.
std::string RuleFileText(const RuleFile& rule);

// Writes <rulesFolder>/<name>.DAT, creating the folder.
void WriteRuleFile(const std::filesystem::path& rulesFolder, const std::string& name, const RuleFile& rule);

}  // namespace testsupport
