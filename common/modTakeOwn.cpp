#include "modTakeOwn.h"

#include "CommonModule.h"
#include "platform/api/Environment.h"
#include "platform/api/RuntimeError.h"

namespace modTakeOwn {

namespace {

void ChooseOwnerAndGrantee(std::string& sOwner, std::string& sGrantee) {
    const std::string userName = vb::Environ("USERNAME");
    if (sOwner.empty()) sOwner = userName.empty() ? "System" : userName;
    if (userName == vb::Environ("COMPUTERNAME") + "$") sOwner = "System";
    if (sGrantee.empty()) sGrantee = sOwner == "System" ? "Everyone" : sOwner;
}

void RunTool(const std::string& commandLine, std::int32_t lWindowStyle) {
    std::string message;
    CommonModule::ShellAndWaitForTermination(commandLine, lWindowStyle, message, 0, false);
}

}  // namespace

std::string FindSubinacl() {
    const std::string systemRoot = vb::Environ("SYSTEMROOT");
    const std::string appPath = CommonModule::AppPath();
    std::string found;
    for (const std::string& candidate :
         {systemRoot + "\\subinacl.exe", systemRoot + "\\System32\\subinacl.exe", appPath + "subinacl.exe",
          appPath + "..\\3rd Party Tools\\subinacl.exe"}) {
        if (CommonModule::DoesFileExist(candidate)) found = candidate;
    }
    return found;
}

void TakeOwnership(const std::string& sPath, bool& bSubfolders, std::int32_t& lWindowStyle, std::string& sOwner,
                   std::string& sGrantee) {
    try {
        const std::string tool = FindSubinacl();
        if (tool.empty()) return;
        const std::string kind = CommonModule::FileOrDir(sPath);
        if (kind == "neither") return;
        if (kind == "file") bSubfolders = false;
        ChooseOwnerAndGrantee(sOwner, sGrantee);
        const std::string path = CommonModule::StripTrailingCharacters(sPath, "\\");
        const std::string accounts = " /setowner=" + sOwner + " /grant=" + sGrantee + "=F";
        RunTool("\"" + tool + "\" /file \"" + path + "\"" + accounts, lWindowStyle);
        if (bSubfolders) RunTool("\"" + tool + "\" /subdirectories \"" + path + "\\*.*\"" + accounts, lWindowStyle);
    } catch (const RuntimeError&) {
        // A failed take-over leaves the caller's next step to fail as it would have.
    }
}

}  // namespace modTakeOwn
