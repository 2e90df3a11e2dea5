// The monitor window's history view on real widgets (offscreen) over a real
// EventLogs.txt in a temporary host: the columns, the split of the lines, the
// sorting, the clipboard, clearing, the pop-up menu, the web search handed to
// the desktop's URL handler, and the tray icon's double click and menu.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/CommonModule.h"
#include "common/modRegistry.h"
#include "monitor/frmDHM.h"
#include "monitor/frmSysTray.h"
#include "monitor/modDHM.h"
#include "platform/api/Clipboard.h"
#include "platform/api/EventLog.h"
#include "platform/api/MessageBox.h"
#include "platform/api/Process.h"
#include "platform/api/Program.h"
#include "platform/api/TrayIcon.h"
#include "support/ProgramRun.h"
#include "support/ScopedVariable.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

using testsupport::kProgramFolder;

void RunDeferredDeletes() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class HistoryView : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        platform::ClearMessageBoxQueue();
        modDHM::bShowForm = true;
        modDHM::bShowTrayIcon = false;
    }
    void TearDown() override {
        if (window_) window_->Unload();
        RunDeferredDeletes();
        platform::ClearMessageBoxQueue();
        modDHM::bShowForm = false;
        modDHM::bShowTrayIcon = false;
    }

    fs::path HistoryFile() const { return host_.HostOf(std::string(kProgramFolder) + "EventLogs.txt"); }

    // The history view as "/showform" loads it, over a history file of these bytes.
    frmDHM& Open(const std::string& history) {
        WriteHostFile(HistoryFile(), history);
        return OpenWithoutFile();
    }
    frmDHM& OpenWithoutFile() {
        window_ = frmDHM::Load();
        return *window_;
    }

    QTreeWidget& List() const { return *window_->findChild<QTreeWidget*>("ListView1"); }
    QAction& MenuItem(const char* name) const { return *window_->findChild<QAction*>(name); }
    QMenu& PopUp() const { return *window_->findChild<QMenu*>("Menu_PopUp"); }

    std::vector<std::string> Row(int index) const {
        std::vector<std::string> row;
        QTreeWidgetItem* item = List().topLevelItem(index);
        for (int column = 0; column < 5; ++column) row.push_back(item->text(column).toStdString());
        return row;
    }
    std::vector<std::string> ColumnTexts(int column) const {
        std::vector<std::string> texts;
        for (int i = 0; i < List().topLevelItemCount(); ++i)
            texts.push_back(List().topLevelItem(i)->text(column).toStdString());
        return texts;
    }
    void Select(int index) { List().topLevelItem(index)->setSelected(true); }
    void ClickHeader(int column) { emit List().header()->sectionClicked(column); }

    testsupport::ProgramHost host_;
    QPointer<frmDHM> window_;
};

const std::string kThreeAlerts =
    "10:01:00|9|Error|Service Control Manager|The spooler stopped.\r\n"
    "10:02:00|10|Warning|Disk|The disk is nearly full.\r\n"
    "09:59:00|7036|Information|Tcpip|The address was renewed.\r\n";

TEST_F(HistoryView, ShowsTheWindowWithItsControlsAndFiveColumns) {
    frmDHM& window = Open(kThreeAlerts);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle().toStdString(), modDHM::GetAppTitle());
    const struct {
        const char* name;
        const char* caption;
    } buttons[] = {{"Command2", "Resume Desktop Monitor"},
                   {"Command3", "Clear Event History"},
                   {"Command4", "Launch Config"},
                   {"Command1", "Exit Desktop Monitor"}};
    for (const auto& button : buttons) {
        auto* control = window.findChild<QPushButton*>(button.name);
        ASSERT_NE(control, nullptr) << button.name;
        EXPECT_EQ(control->text().toStdString(), button.caption);
    }
    EXPECT_EQ(PopUp().title().toStdString(), "Selected Item");
    EXPECT_FALSE(PopUp().menuAction()->isVisible());
    EXPECT_EQ(MenuItem("Menu_Google").text().toStdString(), "Google Event ID/Source Only");
    EXPECT_EQ(MenuItem("Menu_Google2").text().toStdString(), "Google with Event Description");
    EXPECT_TRUE(MenuItem("Menu_dash").isSeparator());
    EXPECT_EQ(MenuItem("Menu_Copy").text().toStdString(), "Copy Event Description to Clipboard");
    EXPECT_EQ(MenuItem("Menu_Copy2").text().toStdString(), "Copy All Info to Clipboard (multi-line)");

    const char* headers[] = {"Time Logged", "Event ID", "Event Type", "Event Source", "Event Message"};
    const double shares[] = {0.1, 0.075, 0.1, 0.125, 0.6};
    ASSERT_EQ(List().columnCount(), 5);
    const double sharedTwips = List().width() * 15 - 325;
    for (int column = 0; column < 5; ++column) {
        EXPECT_EQ(List().headerItem()->text(column).toStdString(), headers[column]);
        EXPECT_EQ(List().columnWidth(column), static_cast<int>(sharedTwips * shares[column] / 15)) << column;
    }
    ASSERT_EQ(List().topLevelItemCount(), 3);
    EXPECT_EQ(Row(0), (std::vector<std::string>{"10:01:00", "9", "Error", "Service Control Manager",
                                                "The spooler stopped."}));
}

TEST_F(HistoryView, ColumnWidthsAreSetWhenBuiltNotOnResize) {
    frmDHM& window = Open(kThreeAlerts);
    const int messageWidth = List().columnWidth(4);
    window.resize(window.width() * 2, window.height());
    QCoreApplication::processEvents();
    EXPECT_GT(List().width(), 600) << "the list follows the window";
    EXPECT_EQ(List().columnWidth(4), messageWidth);
}

TEST_F(HistoryView, SplitsEachLineIntoAtMostFiveFields) {
    Open("a|1|Error|Src|msg one|extra|more\r\n"   // six fields and more: the first five
         "b|2\r\n"                                 // two fields: the rest stays empty
         "\r\n"                                    // empty lines are skipped
         "c|3|Warning|Src|msg with | bar\n"        // a message with "|" ends there
         "d|4|Info|Src|cr alone\r"                 // a CR alone ends a line too
         "e\r\n"
         "|||\r\n"                                 // empty fields are kept
         "f|5|Error|Src|last line without end");
    const std::vector<std::vector<std::string>> expected = {
        {"a", "1", "Error", "Src", "msg one"},
        {"b", "2", "", "", ""},
        {"c", "3", "Warning", "Src", "msg with "},
        {"d", "4", "Info", "Src", "cr alone"},
        {"e", "", "", "", ""},
        {"", "", "", "", ""},
        {"f", "5", "Error", "Src", "last line without end"},
    };
    ASSERT_EQ(List().topLevelItemCount(), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Row(static_cast<int>(i)), expected[i]) << i;
}

// The history file is read as the other text files are: in the code page,
// or in UTF-8 when it is that.
TEST_F(HistoryView, ShowsTheHistoryInItsEncoding) {
    Open("10:01:00|9|Error|Dienst f\xFCr M\xFCller|Der Dienst f\xFCr M\xFCller meldet \x80 5.\r\n");
    EXPECT_EQ(Row(0), (std::vector<std::string>{"10:01:00", "9", "Error", "Dienst f\xC3\xBCr M\xC3\xBCller",
                                                "Der Dienst f\xC3\xBCr M\xC3\xBCller meldet \xE2\x82\xAC 5."}));
    window_->Unload();
    RunDeferredDeletes();
    Open("10:02:00|10|Warning|Disk|\xC3\x84rger \xE8\xAD\xA6\r\n");
    EXPECT_EQ(Row(0), (std::vector<std::string>{"10:02:00", "10", "Warning", "Disk", "\xC3\x84rger \xE8\xAD\xA6"}));
}

TEST_F(HistoryView, MissingHistoryFileShowsAnEmptyList) {
    OpenWithoutFile();
    EXPECT_EQ(List().topLevelItemCount(), 0);
    EXPECT_EQ(List().columnCount(), 5);
}

TEST_F(HistoryView, HeaderClickSortsAsTextAndASecondClickReverses) {
    Open(kThreeAlerts);
    ClickHeader(1);
    EXPECT_EQ(ColumnTexts(1), (std::vector<std::string>{"10", "7036", "9"}));
    ClickHeader(1);
    EXPECT_EQ(ColumnTexts(1), (std::vector<std::string>{"9", "7036", "10"}));
    ClickHeader(0);
    EXPECT_EQ(ColumnTexts(0), (std::vector<std::string>{"09:59:00", "10:01:00", "10:02:00"}))
        << "another column sorts ascending";
    ClickHeader(1);
    EXPECT_EQ(ColumnTexts(1), (std::vector<std::string>{"10", "7036", "9"}))
        << "back on the first column: ascending again";
}

// A Windows list sorts its texts with letter case ignored.
TEST_F(HistoryView, SortingIgnoresLetterCase) {
    Open("10:01:00|9|Error|beta|b\r\n10:02:00|10|Warning|Alpha|a\r\n09:59:00|7036|Information|Gamma|c\r\n"
         "09:58:00|1|Information|alpha two|d\r\n");
    ClickHeader(3);
    EXPECT_EQ(ColumnTexts(3), (std::vector<std::string>{"Alpha", "alpha two", "beta", "Gamma"}));
    ClickHeader(3);
    EXPECT_EQ(ColumnTexts(3), (std::vector<std::string>{"Gamma", "beta", "alpha two", "Alpha"}));
}

TEST_F(HistoryView, CopiesTheMessageOrAllInfoOfTheSelectedItem) {
    Open(kThreeAlerts);
    vb::Clipboard::SetText("before");
    MenuItem("Menu_Copy").trigger();
    EXPECT_EQ(vb::Clipboard::GetText(), "before") << "no selected item: nothing happens";

    Select(2);
    MenuItem("Menu_Copy").trigger();
    EXPECT_EQ(vb::Clipboard::GetText(), "The address was renewed.");
    MenuItem("Menu_Copy2").trigger();
    EXPECT_EQ(vb::Clipboard::GetText(),
              "Event ID:  7036\r\nEvent Source:  Tcpip\r\nEvent Description:  The address was renewed.");
}

TEST_F(HistoryView, ClearAsksAndOnlyCancelKeepsTheHistory) {
    Open(kThreeAlerts);
    platform::QueueMessageBoxAnswer(vb::vbCancel);
    window_->findChild<QPushButton*>("Command3")->click();
    EXPECT_TRUE(fs::exists(HistoryFile()));
    EXPECT_EQ(ReadHostFile(HistoryFile()), kThreeAlerts);
    EXPECT_EQ(List().topLevelItemCount(), 3);

    testsupport::StderrCapture capture;
    platform::QueueMessageBoxAnswer(vb::vbOK);
    window_->findChild<QPushButton*>("Command3")->click();
    EXPECT_NE(capture.Text().find("Clear Event History?"), std::string::npos) << capture.Text();
    EXPECT_FALSE(fs::exists(HistoryFile()));
    EXPECT_EQ(List().topLevelItemCount(), 0);
    EXPECT_EQ(List().columnCount(), 5);
    EXPECT_EQ(List().headerItem()->text(4).toStdString(), "Event Message");

    platform::QueueMessageBoxAnswer(vb::vbOK);
    window_->findChild<QPushButton*>("Command3")->click();
    EXPECT_EQ(List().topLevelItemCount(), 0) << "a missing file is nothing to delete";
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(HistoryView, RightButtonOpensThePopUpOnlyOverAnItem) {
    Open(kThreeAlerts);
    window_->show();
    QWidget* viewport = List().viewport();
    const QPoint overItem = List().visualItemRect(List().topLevelItem(0)).center();
    const QPoint emptySpace(overItem.x(), viewport->height() - 3);
    ASSERT_EQ(List().itemAt(emptySpace), nullptr);

    auto release = [&](Qt::MouseButton button, QPoint at) {
        QMouseEvent event(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), button, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    release(Qt::RightButton, emptySpace);
    EXPECT_FALSE(PopUp().isVisible());
    release(Qt::LeftButton, overItem);
    EXPECT_FALSE(PopUp().isVisible());
    release(Qt::RightButton, overItem);
    EXPECT_TRUE(PopUp().isVisible());
    PopUp().hide();
}

TEST_F(HistoryView, ExitSaysWhatGoesOnAndUnloadsTheWindow) {
    Open(kThreeAlerts);
    testsupport::StderrCapture capture;
    window_->findChild<QPushButton*>("Command1")->click();
    EXPECT_NE(capture.Text().find("Shutting down the Desktop Monitor component now, however the installed "
                                  "service will continue to run."),
              std::string::npos)
        << capture.Text();
    RunDeferredDeletes();
    EXPECT_TRUE(window_.isNull());
    EXPECT_EQ(frmDHM::Instance(), nullptr);
}

// The process ends when the view unloads from its event loop and no window remains.
TEST_F(HistoryView, UnloadingTheViewEndsTheEventLoop) {
    Open(kThreeAlerts);
    bool timedOut = false;
    QTimer::singleShot(0, [&] { window_->findChild<QPushButton*>("Command1")->click(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    guard.start(60000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(window_.isNull());
}

TEST_F(HistoryView, LaunchConfigUnloadsEvenWithoutTheStopProgram) {
    Open(kThreeAlerts);
    testsupport::StderrCapture capture;
    window_->findChild<QPushButton*>("Command4")->click();
    EXPECT_NE(capture.Text().find("CommonModule\\ShellX FILE NOT FOUND"), std::string::npos) << capture.Text();
    EXPECT_NE(capture.Text().find("Quarnel_Stop.exe"), std::string::npos) << capture.Text();
    RunDeferredDeletes();
    EXPECT_TRUE(window_.isNull());
}

// --- the web search ----------------------------------------------------------

TEST(WebSearchAddress, QuotesAsPercentTwentyTwoAndOnlyControlCharactersEncoded) {
    const struct {
        const char* message;
        bool withDescription;
        const char* address;
    } cases[] = {
        {"The spooler stopped.", false,
         "http://www.google.com/search?hl=en&q=%22Event ID%22 7036 %22Service Control Manager%22 "},
        {"The spooler stopped.", true,
         "http://www.google.com/search?hl=en&q=%22Event ID%22 7036 %22Service Control Manager%22 "
         "The spooler stopped."},
        {"line one\r\nline\ttwo & 100% \"done\"", true,
         "http://www.google.com/search?hl=en&q=%22Event ID%22 7036 %22Service Control Manager%22 "
         "line one%0D%0Aline%09two & 100% \"done\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(frmDHM::WebSearchAddress("7036", "Service Control Manager", c.message, c.withDescription),
                  c.address)
            << c.message;
}

// A stand-in for the desktop's URL handler that writes the argument it got.
class WebSearch : public HistoryView {
protected:
    void SetUp() override {
        HistoryView::SetUp();
        bin_ = host_.Folder() / "bin";
        fs::create_directories(bin_);
        received_ = host_.Folder() / "received.txt";
        WriteHostFile(bin_ / "xdg-open", "#!/bin/sh\nprintf '%s' \"$#:$1\" > \"" + received_.string() +
                                             ".part\"\nmv \"" + received_.string() + ".part\" \"" +
                                             received_.string() + "\"\n");
        fs::permissions(bin_ / "xdg-open", fs::perms::owner_all);
        path_ = std::make_unique<testsupport::ScopedVariable>("PATH", (bin_.string() + ":/usr/bin:/bin").c_str());
    }
    void TearDown() override {
        path_.reset();
        HistoryView::TearDown();
    }

    // What the handler received, once it has run.
    std::string Received() {
        for (int i = 0; i < 600 && !fs::exists(received_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::string text = fs::exists(received_) ? ReadHostFile(received_) : "(the handler never ran)";
        fs::remove(received_);
        return text;
    }

    fs::path bin_;
    fs::path received_;
    std::unique_ptr<testsupport::ScopedVariable> path_;
};

TEST_F(WebSearch, MenuAndDoubleClickHandTheAddressAsOneArgument) {
    Open("10:01:00|7036|Error|Service Control Manager|Spooler; rm -rf ~ `id` $(id)\tstopped\r\n");
    MenuItem("Menu_Google").trigger();
    EXPECT_FALSE(fs::exists(received_)) << "no selected item: no search";

    Select(0);
    MenuItem("Menu_Google").trigger();
    EXPECT_EQ(Received(), "1:http://www.google.com/search?hl=en&q=%22Event ID%22 7036 %22Service Control Manager%22 ");
    MenuItem("Menu_Google2").trigger();
    const std::string withDescription =
        "1:http://www.google.com/search?hl=en&q=%22Event ID%22 7036 %22Service Control Manager%22 "
        "Spooler; rm -rf ~ `id` $(id)%09stopped";
    EXPECT_EQ(Received(), withDescription);
    emit List().itemDoubleClicked(List().topLevelItem(0), 0);
    EXPECT_EQ(Received(), withDescription);
}

// --- the tray icon -----------------------------------------------------------

class TrayEvents : public HistoryView {
protected:
    void SetUp() override {
        HistoryView::SetUp();
        modDHM::bShowTrayIcon = true;
    }
    frmSysTray& Tray() { return *window_->m_frmSysTray; }
};

TEST_F(TrayEvents, DoubleClickWritesThePauseRecordAndUnloads) {
    Open(kThreeAlerts);
    ASSERT_EQ(platform::TrayIconCount(), 1);
    const win::HWND owner = Tray().OwnerHandle();
    const win::UINT id = Tray().IconId();
    testsupport::StderrCapture capture;
    platform::SimulateTrayActivation(owner, id, QSystemTrayIcon::DoubleClick);

    platform::EventLogStore store;
    const std::vector<platform::EventRecord> records = store.AllRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].source, "Quarnel");
    EXPECT_EQ(records[0].log, "Application");
    EXPECT_EQ(records[0].eventId, 10177u);
    EXPECT_EQ(records[0].type, 0);
    ASSERT_FALSE(records[0].strings.empty());
    EXPECT_EQ(records[0].strings[0], "Pausing event monitoring by systray icon.");
    // The stop program is not installed here: the window unloads all the same.
    EXPECT_NE(capture.Text().find("CommonModule\\ShellX FILE NOT FOUND"), std::string::npos) << capture.Text();
    RunDeferredDeletes();
    EXPECT_TRUE(window_.isNull());
    EXPECT_EQ(platform::TrayIconCount(), 0);
}

TEST_F(TrayEvents, MenuCloseAnsweredNoAndOtherKeysDoNothing) {
    Open(kThreeAlerts);
    platform::QueueMessageBoxAnswer(vb::vbNo);
    testsupport::StderrCapture capture;
    emit Tray().MenuClick(1, "close");
    EXPECT_NE(capture.Text().find("Are you sure you wish to exit?"), std::string::npos) << capture.Text();
    emit Tray().MenuClick(0, "show");
    emit Tray().MenuClick(2, "other");
    RunDeferredDeletes();
    ASSERT_FALSE(window_.isNull());
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(platform::TrayIconCount(), 1);
}

// --- pausing a live monitor -----------------------------------------------------

const std::string kSubscribed = "\tWMI ExecNotificationQuery: subscribed to new event-log records";
const std::string kIconRemoved = "\tShell_NotifyIcon NIM_DELETE: ";
const std::string kStartingLine = " - Starting Quarnel   v";

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++count;
    return count;
}

std::vector<platform::ProcessInfo> MonitorsOfTheMachine() {
    std::vector<platform::ProcessInfo> monitors;
    for (const platform::ProcessInfo& process : platform::ListProcesses())
        if (process.imageName == "Quarnel.exe") monitors.push_back(process);
    return monitors;
}

// The live monitor runs in a child of the test (the window, the tray and the
// wait in process, so the tray callback can be fed to it), over the installed
// programs of the host; the stop program and the new monitor are real ones.
class PausedLiveMonitor : public testing::Test {
protected:
    void SetUp() override {
        // The new monitor registers its start at log-on: never in the real user's session.
        host_.WriteHostIni("Scheduler", "Crontab", "0");
        host_.WriteHostIni("Scheduler", "Autostart", "0");
        testsupport::InstallProgram(host_);
        log_ = host_.Folder() / "pause-run.log";
    }
    void TearDown() override {
        for (const platform::ProcessInfo& monitor : MonitorsOfTheMachine())
            platform::TerminateProcessById(monitor.pid, 1);
    }

    void StartChild(bool showForm) {
        const int output = open(log_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(output, STDERR_FILENO);
        platform::SetProgramPathForTests(std::string(kProgramFolder) + "Quarnel.exe");
        modDHM::bShowForm = showForm;
        modDHM::bShowTrayIcon = true;
        modDHM::bShowTaskBar = true;
        testsupport::TestApplication();
    }

    [[noreturn]] void RunMonitorInChild() {
        StartChild(false);
        FeedDoubleClickWhileWaiting();
        frmDHM::Load();
        platform::EndProcess(5);  // the monitor came back
    }

    // The history view whose tray menu's "close" is answered Yes.
    [[noreturn]] void RunClosedViewInChild() {
        StartChild(true);
        frmDHM* view = frmDHM::Load();
        platform::QueueMessageBoxAnswer(vb::vbYes);
        emit view->m_frmSysTray->MenuClick(1, "close");
        platform::EndProcess(5);  // the handler came back
    }

    // The history view as the program runs it, resumed by its button.
    [[noreturn]] void RunResumedViewInChild() {
        StartChild(true);
        frmDHM::Load();
        QTimer::singleShot(0, [] {
            auto* view = frmDHM::Instance();
            if (!view || !view->isVisible()) platform::EndProcess(6);
            view->findChild<QPushButton*>("Command2")->click();
            platform::EndProcess(view->isVisible() ? 7 : 8);  // the monitor came back
        });
        QApplication::exec();
        platform::EndProcess(9);
    }

    // The double click reaches the tray window once the monitor waits for records.
    static void FeedDoubleClickWhileWaiting() {
        QTimer::singleShot(10, [] {
            frmDHM* window = frmDHM::Instance();
            if (QThread::currentThread()->loopLevel() == 0 || !window || !window->m_frmSysTray) {
                FeedDoubleClickWhileWaiting();
                return;
            }
            platform::SimulateTrayActivation(window->m_frmSysTray->OwnerHandle(), window->m_frmSysTray->IconId(),
                                             QSystemTrayIcon::DoubleClick);
        });
    }

    // The child's exit code; -1 when it had to be killed.
    static int WaitForChild(pid_t child) {
        int status = 0;
        for (int i = 0; i < 2400; ++i) {
            if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return -1;
    }

    bool WaitForLog(const std::string& text, std::size_t count) const {
        for (int i = 0; i < 2400; ++i) {
            if (fs::exists(log_) && CountOf(ReadHostFile(log_), text) >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    testsupport::TempHost host_;
    fs::path log_;
};

TEST_F(PausedLiveMonitor, DoubleClickWritesThePauseRecordEndsAndBringsUpTheHistoryView) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) RunMonitorInChild();
    EXPECT_EQ(WaitForChild(child), 0) << ReadHostFile(log_);

    platform::EventLogStore store;
    const std::vector<platform::EventRecord> records = store.AllRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].source, "Quarnel");
    EXPECT_EQ(records[0].eventId, 10177u);
    ASSERT_FALSE(records[0].strings.empty());
    EXPECT_EQ(records[0].strings[0], "Pausing event monitoring by systray icon.");

    // The new monitor, started by the stop program, comes up once in history view.
    ASSERT_TRUE(WaitForLog(kStartingLine, 1)) << ReadHostFile(log_);
    ASSERT_TRUE(WaitForLog(testsupport::kTrayIconAdded, 2)) << ReadHostFile(log_);
    const std::string output = ReadHostFile(log_);
    const std::size_t restart = output.find(kStartingLine);
    EXPECT_NE(output.find(kSubscribed), std::string::npos) << output;
    EXPECT_NE(output.rfind(kIconRemoved, restart), std::string::npos) << "the paused monitor removes its icon";
    EXPECT_EQ(output.find(kSubscribed, restart), std::string::npos) << "the history view subscribes to nothing";
    EXPECT_EQ(CountOf(output, kStartingLine), 1u) << output;
    ASSERT_EQ(MonitorsOfTheMachine().size(), 1u);

    // The stop program without a command line ends the view and starts nothing.
    const testsupport::ProgramResult stop = testsupport::RunInstalled(host_, "Quarnel_Stop.exe", "");
    EXPECT_EQ(stop.exitCode, 0) << stop.debugOutput;
    EXPECT_EQ(stop.debugOutput.find(kStartingLine), std::string::npos) << stop.debugOutput;
    for (int i = 0; i < 200 && !MonitorsOfTheMachine().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(MonitorsOfTheMachine().empty());
}

TEST_F(PausedLiveMonitor, ResumeTurnsTheViewIntoAHiddenLiveMonitorThatEndsOnItsOwnRecord) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) RunResumedViewInChild();
    ASSERT_TRUE(WaitForLog(kSubscribed, 1)) << ReadHostFile(log_);
    testsupport::WriteOwnRecord(host_);
    EXPECT_EQ(WaitForChild(child), 0) << ReadHostFile(log_);
    EXPECT_NE(ReadHostFile(log_).find(kIconRemoved), std::string::npos) << ReadHostFile(log_);
}

using TrayMenuClose = PausedLiveMonitor;

TEST_F(TrayMenuClose, AnsweredYesDeletesTheStartValuesAndEndsTheProgram) {
    const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string runOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    const vb::Variant text(std::string("x"));
    modRegistry::fWriteValue("HKCU", run, "MSConfig", "S", text);
    modRegistry::fWriteValue("HKLM", run, "MSConfig", "S", text);
    modRegistry::fWriteValue("HKLM", runOnce, "*Korvo", "S", text);
    modRegistry::fWriteValue("HKLM", run, "Other", "S", text);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) RunClosedViewInChild();
    EXPECT_EQ(WaitForChild(child), 0) << ReadHostFile(log_);
    EXPECT_NE(ReadHostFile(log_).find("Are you sure you wish to exit?"), std::string::npos) << ReadHostFile(log_);

    auto read = [](const std::string& top, const std::string& key, const std::string& name) {
        vb::Variant value;
        modRegistry::fReadValue(top, key, name, "S", vb::Variant(std::string("(gone)")), value);
        return value.ToText();
    };
    EXPECT_EQ(read("HKCU", run, "MSConfig"), "(gone)");
    EXPECT_EQ(read("HKLM", run, "MSConfig"), "(gone)");
    EXPECT_EQ(read("HKLM", runOnce, "*Korvo"), "(gone)");
    EXPECT_EQ(read("HKLM", run, "Other"), "x");
}

}  // namespace
