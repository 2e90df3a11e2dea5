#include "net/frmRulesUpdate.h"

#include <array>

#include "common/CommonModule.h"
#include "common/ErrorTrap.h"
#include "net/Download.h"
#include "net/modRulesArchive.h"
#include "platform/api/FileApi.h"

using ErrorTrap::SkipErrors;

namespace {

constexpr std::array<const char*, 4> kProfileLocationKeys{"RulesWebLoc", "RulesWebLoc1", "RulesWebLoc2",
                                                          "RulesWebLoc3"};
constexpr std::int32_t kNormalFocus = 1;

std::string RulesArchive() { return CommonModule::AppPath() + "RulesUpdate.zip"; }
std::string RulesFolder() { return CommonModule::AppPath() + "Rules"; }

}  // namespace

std::string frmRulesUpdate::ProfileLocationKey(std::int16_t iRulesProfile) {
    if (iRulesProfile < 0 || iRulesProfile >= static_cast<std::int16_t>(kProfileLocationKeys.size())) return "";
    return kProfileLocationKeys[static_cast<std::size_t>(iRulesProfile)];
}

frmRulesUpdate::frmRulesUpdate(std::int16_t iRulesProfile, bool bRulesUpdateCmdLine, QWidget* parent)
    : UpdateWindow("frmRulesUpdate", "Rules Update", bRulesUpdateCmdLine, parent), iRulesProfile_(iRulesProfile) {}

frmRulesUpdate::~frmRulesUpdate() = default;

void frmRulesUpdate::Timer1_Timer() {
    SkipErrors([this] { UpdateRules(); });
    SetStatus("Restarting...");
    SkipErrors([] {
        std::int32_t exitCode = 0;
        CommonModule::ShellX(CommonModule::AppPath() + "Quarnel.exe", "", false, kNormalFocus, exitCode);
    });
}

void frmRulesUpdate::UpdateRules() {
    mobjDownload = std::make_unique<Download>();
    SkipErrors([] {
        if (CommonModule::DoesFileExist(RulesArchive())) win::DeleteFileA(RulesArchive());
    });
    std::string location;
    const std::string key = ProfileLocationKey(iRulesProfile_);
    if (key.empty())
        CloseWindow();
    else
        SkipErrors([&] { location = CommonModule::ReadIniString(CommonModule::sINI, "General", key); });
    SkipErrors([&] { mobjDownload->StartDownload(location, RulesArchive()); });
    if (!CommonModule::DoesFileExist(RulesArchive())) {
        CommonModule::DPrint("DOWNLOAD FAILED:  RulesUpdate.zip");
        CloseWindow();
        return;
    }
    CommonModule::DPrint("DOWNLOAD SUCCEEDED:  RulesUpdate.zip");
    SkipErrors([] { modRulesArchive::InstallRulesArchive(RulesArchive(), RulesFolder(), false); });
    SkipErrors([] { win::DeleteFileA(RulesArchive()); });
    mobjDownload.reset();
    const std::string carriedSettings = RulesFolder() + "\\Quarnel.ini";
    SkipErrors([&] {
        if (CommonModule::DoesFileExist(carriedSettings))
            // Named whole, so that a copy named in other letters replaces it too.
            CommonModule::ShellFileOperation(carriedSettings, CommonModule::sINI, false);
    });
}
