#pragma once
// The rules-update window: it fetches the rules archive of the chosen rules
// profile, puts its contents in place of the Rules folder, moves a settings
// file the archive carries over Quarnel.ini, and starts Quarnel.exe again.
#include <cstdint>
#include <memory>
#include <string>

#include "net/UpdateWindow.h"

class Download;

class frmRulesUpdate : public UpdateWindow {
public:
    // The settings key of a rules profile's location; empty outside 0 to 3.
    static std::string ProfileLocationKey(std::int16_t iRulesProfile);

    // bRulesUpdateCmdLine: started from the command line (the window stays hidden).
    frmRulesUpdate(std::int16_t iRulesProfile, bool bRulesUpdateCmdLine, QWidget* parent = nullptr);
    ~frmRulesUpdate() override;

    // The profile of a window that is shown again before its work has run.
    void SetRulesProfile(std::int16_t iRulesProfile) { iRulesProfile_ = iRulesProfile; }
    void UpdateRules();

protected:
    void Timer1_Timer() override;

private:
    std::unique_ptr<Download> mobjDownload;
    std::int16_t iRulesProfile_ = 0;
};
