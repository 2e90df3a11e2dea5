#include "net/modRulesArchive.h"

#include "common/CommonModule.h"
#include "common/ErrorTrap.h"
#include "common/clsFSO.h"
#include "net/modZip.h"
#include "platform/api/FileApi.h"
#include "platform/api/FileSystemObject.h"

namespace modRulesArchive {

namespace {

constexpr const char* kProcedure = "modRulesArchive\\InstallRulesArchive";

std::string StagingFolder(const std::string& rules) { return rules + "_new"; }
std::string SetAsideFolder(const std::string& rules) { return rules + "_old"; }

bool RemoveFolder(const std::string& folder) {
    clsFSO fso;
    return fso.KillDir(folder);
}

// The staging folder holding what the rules will be: the archive's files,
// over a copy of the current rules when those stay.
bool Stage(const std::string& sZip, const std::string& rules, bool keepOtherRules) {
    const std::string staging = StagingFolder(rules);
    if (!RemoveFolder(staging) || !CommonModule::CreatePath(staging + "\\")) return false;
    if (keepOtherRules && CommonModule::DoesDirExist(rules)) {
        try {
            fso::CopyFolder(rules, staging);
        } catch (const RuntimeError& error) {
            CommonModule::LogError(std::string(kProcedure) + " VB ERROR: ", error, {{"sFolder", rules}});
            return false;
        }
    }
    bool unpacked = false;
    ErrorTrap::SkipErrors([&] { unpacked = modZip::UnzipFile(sZip, staging + "\\", false); });
    if (!unpacked)
        CommonModule::DPrint(std::string(kProcedure) + ": " + sZip + " could not be unpacked; the rules stay as they were");
    return unpacked;
}

// The staged folder in place of the rules; on failure the old rules go back.
bool Swap(const std::string& rules) {
    const std::string aside = SetAsideFolder(rules);
    const bool hadRules = CommonModule::DoesDirExist(rules);
    if (hadRules && (!RemoveFolder(aside) || !win::MoveFileA(rules, aside))) return false;
    if (win::MoveFileA(StagingFolder(rules), rules)) {
        if (hadRules) RemoveFolder(aside);
        return true;
    }
    if (hadRules) win::MoveFileA(aside, rules);
    return false;
}

}  // namespace

bool InstallRulesArchive(const std::string& sZip, const std::string& sRulesFolder, bool bKeepOtherRules) {
    bool installed = Stage(sZip, sRulesFolder, bKeepOtherRules);
    if (installed && !(installed = Swap(sRulesFolder)))
        CommonModule::DPrint(std::string(kProcedure) + ": " + sRulesFolder + " could not be replaced; the rules stay as they were");
    RemoveFolder(StagingFolder(sRulesFolder));
    return installed;
}

}  // namespace modRulesArchive
