// Writes a PNG of every window built so far into a folder, so that a person
// can look at them without running the program: the explorer bar on its own
// (themed and plain), each window (every panel of both configuration
// windows), the cloud windows and the task viewer, in a host folder of its own. With an X
// display the pictures are taken from the screen; without one each window
// renders itself.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <QTimer>
#include <sstream>

#include "config/frmClientInfo.h"
#include "config/frmConfig.h"
#include "config/frmConfig2.h"
#include "config/frmPassword.h"
#include "config/frmProfilePrompt.h"
#include "explorerbar/XPexplorerbar.h"
#include "monitor/frmDHM.h"
#include "monitor/modDHM.h"
#include "net/frmFTPDL.h"
#include "net/frmFTPUL.h"
#include "platform/api/Program.h"
#include "platform/api/UxTheme.h"
#include "platform/tools/SchedulerTool.h"
#include "platform/tools/TaskViewerTool.h"

namespace {

const char* const kProgramFolder = "C:\\Program Files\\Quarnel\\";

void Settle() {
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
}

bool Save(QWidget& window, const QString& folder, const QString& name) {
    window.show();
    window.raise();
    Settle();
    QPixmap picture;
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        picture = window.screen()->grabWindow(window.winId());
    if (picture.isNull()) picture = window.grab();
    // Written beside and renamed, so a reader never sees half a picture; the
    // part file is this process's own, as tests run several copies at once.
    const QString file = QDir(folder).filePath(name + QStringLiteral(".png"));
    const QString part = file + QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid());
    const bool saved = picture.save(part, "PNG") &&
                       std::rename(part.toLocal8Bit().constData(), file.toLocal8Bit().constData()) == 0;
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", file.toLocal8Bit().constData());
    return saved;
}

QPixmap Swatch(const QColor& colour) {
    QPixmap picture(32, 32);
    picture.fill(colour);
    return picture;
}

// One control with a normal, a special and a detail group, all open; the
// detail group carries a big icon.
void FillExplorerBar(XPexplorerbar& bar) {
    bar.setObjectName(QStringLiteral("SideBar"));
    bar.resize(240, 560);
    const auto tasks = bar.AddNormalItem("System Tasks", true);
    bar.AddSubItem(tasks, "General Settings");
    bar.AddSubItem(tasks, "Alert Rules");
    bar.AddSubItem(tasks, "Exclusions");
    const auto special = bar.AddSpecialItem("Heartbeat", true);
    bar.AddSubItem(special, "Services", Swatch(Qt::darkGreen));
    bar.AddSubItem(special, "Partitions", Swatch(Qt::darkCyan));
    bar.AddDetailItem("Details", "Quarnel", "Watches the event logs and shows the alerts that the rules pick.", {},
                      true, Swatch(Qt::red));
}

bool ExplorerBar(const QString& folder, bool themed, const QString& name) {
    platform::SetVisualStyles(themed);
    XPexplorerbar bar;
    FillExplorerBar(bar);
    const bool saved = Save(bar, folder, name);
    platform::SetVisualStyles(true);
    return saved;
}

bool MonitorWindow(const QString& folder, const QString& host) {
    const QString history = host + QStringLiteral("/drive_c/Program Files/Quarnel/EventLogs.txt");
    QDir().mkpath(QFileInfo(history).path());
    QFile file(history);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write("10:01:00|9|Error|Service Control Manager|The spooler stopped.\r\n"
               "10:02:00|10|Warning|Disk|The disk is nearly full.\r\n"
               "09:59:00|7036|Information|Tcpip|The address was renewed.\r\n");
    file.close();
    modDHM::bShowForm = true;
    modDHM::bShowTrayIcon = false;
    frmDHM* window = frmDHM::Load();
    if (!window) return false;
    const bool saved = Save(*window, folder, QStringLiteral("frmDHM"));
    window->Unload();
    return saved;
}

// The eight panels in the order both side bars show them.
const char* const kPanels[] = {"picGeneral",   "picEmail",        "picRules",    "picExclusions",
                               "picHeartbeat", "picHeartbeatAdv", "picRulesLoc", "picAutoUpdate"};

// Every panel of a configuration window, each shown through the window's side bar.
template <typename Window>
bool ConfigPanels(const QString& folder, const QString& formName, const std::function<void(Window&, int)>& showPanel) {
    Window window("Quarnel  v1.0", true);
    bool all = true;
    for (int panel = 0; panel < 8; ++panel) {
        showPanel(window, panel);
        all = Save(window, folder, formName + QStringLiteral("-") + QString::fromLatin1(kPanels[panel])) && all;
    }
    return all;
}

bool ConfigWindows(const QString& folder) {
    bool all = ConfigPanels<frmConfig>(folder, QStringLiteral("frmConfig"), [](frmConfig& window, int panel) {
        window.SideBar_SubItemClick(static_cast<std::int16_t>(panel / 4 + 1), static_cast<std::int16_t>(panel % 4 + 1));
    });
    all = ConfigPanels<frmConfig2>(folder, QStringLiteral("frmConfig2"), [](frmConfig2& window, int panel) {
              // The label side bar skips index 4 (its "Scheduling Config" heading).
              window.lblSideBar_Click(static_cast<std::int16_t>(panel < 4 ? panel : panel + 1));
          }) && all;
    return all;
}

// Both windows made as low as they go, the explorer bar scrolled to its end,
// so that the closing commands show whole at the bottom.
template <typename Window>
bool LowestWindow(const QString& folder, const QString& name) {
    Window window("Quarnel  v1.0", true);
    window.show();
    window.layout()->activate();
    window.resize(window.width(), 1);
    Settle();
    if (auto* bar = window.template findChild<XPexplorerbar*>(QStringLiteral("SideBar")))
        bar->Scoller()->setValue(bar->Scoller()->maximum());
    return Save(window, folder, name);
}

// A cloud window stays open for its picture: its closing timer is stopped
// (without stored credentials it tries no transfer).
template <typename Window>
bool CloudWindow(const QString& folder, const QString& name) {
    Window window;
    if (auto* timer = window.template findChild<QTimer*>(QStringLiteral("Timer1"))) timer->stop();
    return Save(window, folder, name);
}

bool TaskViewer(const QString& folder, const QString& host) {
    QFile hostIni(host + QStringLiteral("/host.ini"));
    if (!hostIni.open(QIODevice::Append)) return false;
    hostIni.write("[Scheduler]\nCrontab=0\nAutostart=0\n");
    hostIni.close();
    const std::string program = std::string("\\\"") + kProgramFolder + "Quarnel.exe\\\"";
    for (const std::string& task :
         {"/create /ru system /sc DAILY /st 10:00:00 /rl highest /f /tn \"Quarnel Heartbeat\" /tr \"" + program +
              " /heartbeat",
          "/create /ru system /sc DAILY /st 04:00:00 /rl highest /f /tn \"Quarnel Rules Update\" /tr \"" + program +
              " /updaterules0"}) {
        std::ostringstream out;
        std::istringstream in;
        platform::RunSchedulerTool(task, out, in);
    }
    const std::unique_ptr<QWidget> window = platform::NewTaskWindow();
    return Save(*window, folder, QStringLiteral("taskschd"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quarnel_screenshots FOLDER\n");
        return 2;
    }
    QTemporaryDir host;
    if (!host.isValid()) return 1;
    qputenv("QUARNEL_HOST", host.path().toLocal8Bit());
    QApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    platform::SetProgramPathForTests(std::string(kProgramFolder) + "Quarnel.exe");
    const std::string ini = std::string(kProgramFolder) + "Quarnel.ini";

    bool all = ExplorerBar(folder, true, QStringLiteral("explorerbar-themed"));
    all = ExplorerBar(folder, false, QStringLiteral("explorerbar-plain")) && all;
    all = MonitorWindow(folder, host.path()) && all;
    {
        frmPassword window(ini);
        all = Save(window, folder, QStringLiteral("frmPassword")) && all;
    }
    {
        std::string name = "Example Client", phone = "555 0100", description = "Front desk";
        frmClientInfo window("Quarnel", ClientInfoValues{name, phone, description});
        window.Form_Load();
        all = Save(window, folder, QStringLiteral("frmClientInfo")) && all;
    }
    {
        frmProfilePrompt window;
        window.Form_Load();
        all = Save(window, folder, QStringLiteral("frmProfilePrompt")) && all;
    }
    all = ConfigWindows(folder) && all;
    all = LowestWindow<frmConfig>(folder, QStringLiteral("frmConfig-lowest")) && all;
    all = LowestWindow<frmConfig2>(folder, QStringLiteral("frmConfig2-lowest")) && all;
    all = CloudWindow<frmFTPDL>(folder, QStringLiteral("frmFTPDL")) && all;
    all = CloudWindow<frmFTPUL>(folder, QStringLiteral("frmFTPUL")) && all;
    all = TaskViewer(folder, host.path()) && all;
    return all ? 0 : 1;
}
