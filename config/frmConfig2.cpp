#include "frmConfig2.h"

#include <QMouseEvent>
#include <iterator>

#include "common/CommonModule.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Program.h"

namespace {

struct SideBarEntry {
    std::int16_t index;  // -1 for a heading
    const char* caption;
};

constexpr SideBarEntry kSideBar[] = {
    {-1, "General Config"},   {0, "General"},        {1, "SMTP Config"},
    {2, "Alert Rules"},       {3, "Global Exclusions"}, {-1, "Scheduling Config"},
    {5, "Heartbeat"},         {6, "Heartbeat (Advanced)"}, {7, "Rules Download"},
    {8, "Automatic Update"},  {-1, "Close Config"},  {9, "Save & Close"},
    {10, "Cancel & Close"},   {11, "Save & Zip"},
};

void SetBold(QLabel* label, bool bold) {
    QFont font = label->font();
    font.setBold(bold);
    label->setFont(font);
}

}  // namespace

frmConfig2::frmConfig2(const std::string& title, bool configOnly) : ConfigWindow("frmConfig2", title, configOnly) {
    BuildSideBar();
    Form_Load();
}

void frmConfig2::BuildSideBar() {
    picSideBar = new QWidget(this);
    picSideBar->setObjectName("picSideBar");
    picSideBar->setAutoFillBackground(true);
    picSideBar->setBackgroundRole(QPalette::Base);
    picSideBar->setFixedWidth(kSideBarWidth);
    // The labels do not scroll: the window is never lower than their column.
    picSideBar->setMinimumHeight(2 * kSideBarTop + static_cast<int>(std::size(kSideBar)) * kSideBarRowHeight);
    int row = 0;
    for (const SideBarEntry& entry : kSideBar) {
        auto* label = new QLabel(QString::fromUtf8(entry.caption), picSideBar);
        label->setGeometry(0, kSideBarTop + row++ * kSideBarRowHeight, kSideBarWidth, kSideBarRowHeight);
        if (entry.index < 0) {
            label->setIndent(8);
            SetBold(label, true);
            continue;
        }
        label->setObjectName(QString("lblSideBar(%1)").arg(entry.index));
        label->setIndent(22);
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
        lblSideBar[entry.index] = label;
    }
    SetSideBar(picSideBar);
}

QLabel* frmConfig2::SideBarLabel(std::int16_t Index) const {
    const auto found = lblSideBar.find(Index);
    return found == lblSideBar.end() ? nullptr : found->second;
}

bool frmConfig2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (const auto& [index, label] : lblSideBar) {
            if (label == watched) {
                lblSideBar_Click(index);
                return true;
            }
        }
    }
    return ConfigWindow::eventFilter(watched, event);
}

void frmConfig2::lblSideBar_Click(std::int16_t Index) {
    // A save that fails keeps the window on the panel, and the label, the user was on.
    if (Index == 9) {
        SaveAndClose();
        return;
    }
    for (const auto& [index, label] : lblSideBar) SetBold(label, index == Index);
    HidePanels();
    switch (Index) {
        case 0: ShowPanel(picGeneral); break;
        case 1: ShowPanel(picEmail); break;
        case 2: ShowPanel(picRules); break;
        case 3: ShowPanel(picExclusions); break;
        case 5: ShowPanel(picHeartbeat); break;
        case 6: ShowPanel(picHeartbeatAdv); break;
        case 7: ShowPanel(picRulesLoc); break;
        case 8: ShowPanel(picAutoUpdate); break;
        case 10: CancelAndClose(); break;
        case 11: SaveAndZipConfig(); break;
        default: break;
    }
}

void frmConfig2::CloudDownloadDone(const std::string& sFailure) {
    if (!sFailure.empty()) vb::MsgBox(sFailure, vb::vbOKOnly | vb::vbExclamation);
    std::int32_t exitCode = 0;
    CommonModule::ShellX(CommonModule::AppExePath(), vb::Command(), false, 1, exitCode);
    CloseWhenHandlerEnds();
}
