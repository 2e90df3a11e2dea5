#include "frmConfig.h"

#include "explorerbar/XPexplorerbar.h"

frmConfig::frmConfig(const std::string& title, bool configOnly) : ConfigWindow("frmConfig", title, configOnly) {
    SideBar = new XPexplorerbar(this);
    SideBar->setObjectName("SideBar");
    SideBar->setFixedWidth(200);
    connect(SideBar, &XPexplorerbar::SubItemClick, this,
            [this](short Index, short SubItemIndex) { SideBar_SubItemClick(Index, SubItemIndex); });
    SetSideBar(SideBar);
    Form_Load();
}

// The groups open, so that every item can be clicked at once.
void frmConfig::LoadSideBar() {
    const std::int16_t config = SideBar->AddNormalItem("Config", true);
    for (const char* item : {"General", "SMTP Config", "Alert Rules", "Global Exclusions"})
        SideBar->AddSubItem(config, item);
    const std::int16_t scheduling = SideBar->AddNormalItem("Scheduling", true);
    for (const char* item : {"Heartbeat", "Heartbeat (Advanced)", "Rules Download", "Automatic Update"})
        SideBar->AddSubItem(scheduling, item);
    const std::int16_t closing = SideBar->AddNormalItem("Config", true);
    for (const char* item : {"Save && Zip", "Cancel && Close", "Save && Close"}) SideBar->AddSubItem(closing, item);
}

void frmConfig::SideBar_SubItemClick(std::int16_t Index, std::int16_t SubItemIndex) {
    switch (Index) {
        case 1: ShowConfigItem(SubItemIndex); break;
        case 2: ShowSchedulingItem(SubItemIndex); break;
        case 3: RunClosingItem(SubItemIndex); break;
        default: break;
    }
}

void frmConfig::ShowConfigItem(std::int16_t SubItemIndex) {
    HidePanels();
    switch (SubItemIndex) {
        case 1: ShowPanel(picGeneral); break;
        case 2: ShowPanel(picEmail); break;
        case 3: ShowPanel(picRules); break;
        case 4: ShowPanel(picExclusions); break;
        default: break;
    }
}

void frmConfig::ShowSchedulingItem(std::int16_t SubItemIndex) {
    HidePanels();
    switch (SubItemIndex) {
        case 1: ShowPanel(picHeartbeat); break;
        case 2: ShowPanel(picHeartbeatAdv); break;
        case 3: ShowPanel(picRulesLoc); break;
        case 4: ShowPanel(picAutoUpdate); break;
        default: break;
    }
}

void frmConfig::RunClosingItem(std::int16_t SubItemIndex) {
    switch (SubItemIndex) {
        case 1: SaveAndZipConfig(); break;
        case 2: CancelAndClose(); break;
        case 3: SaveAndClose(); break;
        default: break;
    }
}
