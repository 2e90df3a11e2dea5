#include "frmDHM.h"
#include "common/ErrorTrap.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QThread>
#include <QTimer>

#include "common/CommonModule.h"
#include "frmSysTray.h"
#include "modDHM.h"
#include "platform/api/EventLoop.h"
#include "platform/api/Program.h"
#include "platform/api/RuntimeError.h"
#include "platform/api/TrayIcon.h"
#include "platform/api/Wmi.h"

namespace {

QPointer<frmDHM> loadedWindow;

using ErrorTrap::SkipErrors;

}  // namespace

frmDHM::frmDHM(QWidget* parent) : QWidget(parent) {
    setObjectName("frmDHM");
    CreateControls();
    CreatePopupMenu();
}

frmDHM::~frmDHM() = default;

frmDHM* frmDHM::Load() {
    if (loadedWindow) return loadedWindow;
    loadedWindow = new frmDHM;
    loadedWindow->Form_Load();
    return loadedWindow;
}

frmDHM* frmDHM::Instance() { return loadedWindow; }

void frmDHM::Form_Load() {
    SkipErrors([&] { Menu_PopUp->menuAction()->setVisible(false); });
    SkipErrors([&] { setWindowIcon(platform::IconOfHandle(platform::LoadIconResource("a1"))); });
    SkipErrors([&] { resizer_.InitResizeArray(*this); });
    SkipErrors([&] { hide(); });
    if (modDHM::bShowTrayIcon) {
        SkipErrors([&] {
            m_frmSysTray = new frmSysTray;
            m_frmSysTray->AddMenuItem("&Show", "show", false);
            m_frmSysTray->AddMenuItem("&Close", "close", false);
            m_frmSysTray->SetIconHandle(platform::LoadIconResource("a1"));
        });
        SkipErrors([&] { ConnectTrayEvents(); });
    }
    SkipErrors([&] { SetTitles(); });
    SkipErrors([&] { sHistoryFile = CommonModule::AppPath() + "EventLogs.txt"; });
    if (!modDHM::bShowForm) {
        MonitorEvents();
    } else {
        SkipErrors([&] { show(); });
        LoadHistory();
    }
}

void frmDHM::SetTitles() {
    const std::string title = modDHM::GetAppTitle();
    setWindowTitle(QString::fromStdString(title));
    if (modDHM::bShowTrayIcon && m_frmSysTray) m_frmSysTray->SetToolTip(title);
}

void frmDHM::MonitorEvents() {
    // A handler nested in the wait or in matching may unload the window; it
    // stays allocated while this loop runs and the loop then ends the program.
    const QPointer<frmDHM> self(this);
    ++monitoring_;
    SkipErrors([&] { SetTitles(); });
    std::optional<wmi::Services> service;
    std::optional<wmi::EventSource> events;
    SkipErrors([&] { service = wmi::GetObject("winmgmts:{(Security)}\\\\.\\root\\cimv2"); });
    SkipErrors([&] {
        if (service)
            events = service->ExecNotificationQuery("Select * From __InstanceCreationEvent Where "
                                                    "TargetInstance isa 'Win32_NTLogEvent'");
    });
    const std::string ownSource = vb::App::Title();
    while (!bStopMonitor) {
        std::optional<wmi::Object> record;
        try {
            if (!events) throw RuntimeError::ObjectRequired();
            record = events->NextEvent().TargetInstance();
        } catch (const RuntimeError&) {
            // No subscription, or the wait failed: the monitor ends as after a failed first wait.
            if (self) Unload();
            platform::EndProcess(0);
        }
        if (!self || unloaded_) platform::EndProcess(0);
        bool ownRecord = false;
        SkipErrors([&] { ownRecord = record->Property("SourceName").ToText() == ownSource; });
        if (ownRecord) {
            Unload();
            EndProgram();
        }
        SkipErrors([&] {
            const std::string type = record->Property("Type").ToText();
            const std::string code = record->Property("EventCode").ToText();
            const std::string source = record->Property("SourceName").ToText();
            const std::string message = record->Property("Message").ToText();
            const std::string log = record->Property("Logfile").ToText();
            CheckAllRules(type, code, source, message, log);
        });
        if (!self || unloaded_) platform::EndProcess(0);
    }
    --monitoring_;
}

void frmDHM::DoAction(const std::string& text) {
    SkipErrors([&] {
        CommonModule::DPrint("DoAction Initiated");
        if (modDHM::bShowTaskBar && modDHM::bShowTrayIcon) {
            CommonModule::DPrint("Showing balloon...");
            std::int32_t seconds = 10;
            ShowBalloon(text, "Event Alert", seconds);
        }
    });
}

void frmDHM::ShowBalloon(const std::string& text, std::string title, std::int32_t& seconds) {
    SkipErrors([&] {
        if (title.empty()) title = CommonModule::GetAppVersionString();
        seconds *= 1000;
        if (m_frmSysTray) m_frmSysTray->ShowBalloonTip(text, title, 1, vb::Variant(seconds));
    });
}

void frmDHM::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    if (m_frmSysTray) m_frmSysTray->Unload();
    m_frmSysTray = nullptr;
    CommonModule::UnloadAllFormsExcept(this);
    hide();
    if (monitoring_ > 0) {
        // Leaves the loop's wait at once; the loop ends the program.
        QCoreApplication::quit();
        return;
    }
    deleteLater();
    platform::QuitLoopWhenNoFormRemains();
}

void frmDHM::closeEvent(QCloseEvent* event) {
    Unload();
    event->accept();
}

void frmDHM::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmDHM::EndProgram() { platform::EndProcess(0); }
