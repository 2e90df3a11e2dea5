#pragma once
// The configuration window: the shared panels with the explorer bar
// `SideBar` as its side bar (groups "Config", "Scheduling" and "Config").
#include <cstdint>

#include "ConfigWindow.h"

class XPexplorerbar;

class frmConfig : public ConfigWindow {
    Q_OBJECT

public:
    frmConfig(const std::string& title, bool configOnly);

    // The explorer bar's click on item SubItemIndex of group Index.
    void SideBar_SubItemClick(std::int16_t Index, std::int16_t SubItemIndex);

protected:
    void LoadSideBar() override;

private:
    void ShowConfigItem(std::int16_t SubItemIndex);
    void ShowSchedulingItem(std::int16_t SubItemIndex);
    void RunClosingItem(std::int16_t SubItemIndex);

    XPexplorerbar* SideBar = nullptr;
};
