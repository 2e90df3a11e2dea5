#pragma once
// A rules archive put into the Rules folder in one step, for the rules
// update and the cloud download alike: the archive is unpacked whole into a
// staging folder beside the rules ("Rules_new"), and the staged folder then
// takes the place of the Rules folder, the old one kept aside ("Rules_old")
// until the new one stands. An archive that cannot be unpacked, or a folder
// that cannot be moved, leaves the rules whole as they were.
#include <string>

namespace modRulesArchive {

// sRulesFolder without a trailing backslash. bKeepOtherRules: the archive's
// files join the rules (replacing those of the same name) instead of taking
// the place of all of them. False when the rules stayed as they were.
bool InstallRulesArchive(const std::string& sZip, const std::string& sRulesFolder, bool bKeepOtherRules);

}  // namespace modRulesArchive
