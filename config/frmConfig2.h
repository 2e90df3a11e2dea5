#pragma once
// The safe-mode twin of the configuration window: the same panels, with a
// column of plain labels as its side bar instead of the explorer bar.
#include <QLabel>
#include <cstdint>
#include <map>

#include "ConfigWindow.h"

// The label side bar's fixed layout, in pixels of the window's client area:
// one row per label or heading, in the order of the side bar.
inline constexpr int kSideBarWidth = 190;
inline constexpr int kSideBarTop = 8;
inline constexpr int kSideBarRowHeight = 24;
// The row of the label of an index, or -1.
constexpr int SideBarRow(int index) {
    constexpr int rows[] = {1, 2, 3, 4, -1, 6, 7, 8, 9, 11, 12, 13};
    return index >= 0 && index < 12 ? rows[index] : -1;
}

class frmConfig2 : public ConfigWindow {
    Q_OBJECT

public:
    frmConfig2(const std::string& title, bool configOnly);

    // A click on the side-bar label of that index.
    void lblSideBar_Click(std::int16_t Index);
    // The label of an index, or nullptr.
    QLabel* SideBarLabel(std::int16_t Index) const;

protected:
    // The program starts again as it was started and the twin unloads.
    void CloudDownloadDone(const std::string& sFailure) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildSideBar();

    QWidget* picSideBar = nullptr;
    std::map<std::int16_t, QLabel*> lblSideBar;
};
