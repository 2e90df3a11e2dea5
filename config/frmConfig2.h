#pragma once
// The safe-mode twin of the configuration window: the same panels, with a
// column of plain labels as its side bar instead of the explorer bar.
#include <QLabel>
#include <cstdint>
#include <map>

#include "ConfigWindow.h"

class frmConfig2 : public ConfigWindow {
    Q_OBJECT

public:
    frmConfig2(const std::string& title, bool configOnly);

    // A click on the side-bar label of that index.
    void lblSideBar_Click(std::int16_t Index);
    // The label of an index, or nullptr.
    QLabel* SideBarLabel(std::int16_t Index) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildSideBar();

    QWidget* picSideBar = nullptr;
    std::map<std::int16_t, QLabel*> lblSideBar;
};
