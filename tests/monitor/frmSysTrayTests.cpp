// The tray window on real Qt widgets (offscreen) over the host's tray: the
// record it writes per platform, its text cuts, the modifies it sends, the
// callback codes it turns into signals, its menu, and its unloading from
// inside its own signal.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

#include "support/TestApplication.h"
#include "monitor/frmSysTray.h"
#include "platform/api/TrayIcon.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"

namespace {


void RunDeferredDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

struct HostWindows {
    const char* name;
    int major;
    int minor;
    int platformId;
    win::DWORD recordSize;
    bool balloons;
    std::size_t shownTipLength;  // of a 200-character tooltip, as the shell shows it
};

void PrintTo(const HostWindows& c, std::ostream* out) { *out << c.name; }

class SysTrayTest : public testing::Test {
protected:
    void SetUp() override { testsupport::TestApplication(); }
    void TearDown() override {
        if (tray_) delete tray_.data();
        RunDeferredDeletes();
    }

    void UseWindows(int major, int minor, int platformId) {
        host_.WriteHostIni("Version", "Major", std::to_string(major));
        host_.WriteHostIni("Version", "Minor", std::to_string(minor));
        host_.WriteHostIni("Version", "PlatformId", std::to_string(platformId));
    }

    // A tray window loaded as the monitor loads it, by its first menu item.
    frmSysTray& LoadedTray() {
        tray_ = new frmSysTray;
        tray_->AddMenuItem("&Show", "show");
        return *tray_;
    }

    platform::TrayIconInfo Shell() const {
        auto info = platform::QueryTrayIcon(tray_->OwnerHandle(), tray_->IconId());
        EXPECT_TRUE(info.has_value()) << "no icon in the tray";
        return info.value_or(platform::TrayIconInfo{});
    }

    testsupport::TempHost host_;
    QPointer<frmSysTray> tray_;
};

TEST_F(SysTrayTest, IsAHiddenWindowThatAddsItsIconAtFirstUse) {
    tray_ = new frmSysTray;
    EXPECT_EQ(tray_->objectName(), "frmSysTray");
    EXPECT_EQ(tray_->windowTitle(), "Sys Tray Interface");
    EXPECT_EQ(platform::TrayIconCount(), 0) << "the icon waits for the window's load";

    testsupport::StderrCapture capture;
    EXPECT_EQ(tray_->AddMenuItem("&Show", "show"), 0);
    EXPECT_FALSE(tray_->isVisible());
    const platform::TrayIconInfo shell = Shell();
    EXPECT_EQ(shell.tip, "Quarnel");
    EXPECT_EQ(shell.callbackMessage, win::WM_MOUSEMOVE);
    EXPECT_EQ(shell.version, win::NOTIFYICON_VERSION);
    EXPECT_NE(shell.icon, 0) << "the window's own icon";
    EXPECT_EQ(static_cast<win::HICON>(tray_->IconId()), shell.icon);
    EXPECT_EQ(platform::WindowOfHandle(tray_->OwnerHandle()), tray_.data());
    const std::string output = capture.Text();
    EXPECT_LT(output.find("NIM_ADD"), output.find("NIM_SETVERSION")) << output;
}

class SysTrayPlatformTest : public SysTrayTest, public testing::WithParamInterface<HostWindows> {};

TEST_P(SysTrayPlatformTest, WritesTheRecordOfItsPlatform) {
    const HostWindows& c = GetParam();
    UseWindows(c.major, c.minor, c.platformId);
    frmSysTray& tray = LoadedTray();
    EXPECT_EQ(Shell().lastRecordSize, c.recordSize);
    EXPECT_EQ(Shell().version, c.balloons ? 3u : 0u);

    tray.ShowBalloonTip("Disk full", "Event Alert", 1, 10000);
    EXPECT_EQ(Shell().balloonCount, c.balloons ? 1 : 0);

    tray.SetToolTip(std::string(200, 'x'));
    EXPECT_EQ(Shell().tip, std::string(c.shownTipLength, 'x'));
}

INSTANTIATE_TEST_SUITE_P(Platforms, SysTrayPlatformTest,
                         testing::Values(HostWindows{"Windows7", 6, 1, 2, 936, true, 127},
                                         HostWindows{"Windows2000", 5, 0, 2, 936, true, 127},
                                         HostWindows{"WindowsNT4", 4, 0, 2, 152, false, 63},
                                         HostWindows{"WindowsMe", 4, 90, 1, 488, true, 127},
                                         HostWindows{"Windows98", 4, 10, 1, 88, false, 63}),
                         [](const testing::TestParamInfo<HostWindows>& info) { return std::string(info.param.name); });

TEST_F(SysTrayTest, BalloonCarriesTextTitleKindAndTimeOutAlone) {
    frmSysTray& tray = LoadedTray();
    tray.SetToolTip("Quarnel 1.0.0");
    const int modifies = Shell().modifyCount;
    testsupport::StderrCapture capture;
    tray.ShowBalloonTip("10:15:00\r\nEvent Log: System\r\n", "Event Alert", 1, vb::Variant(10000L));
    const platform::TrayIconInfo shell = Shell();
    EXPECT_EQ(shell.modifyCount, modifies + 1);
    EXPECT_EQ(shell.balloonText, "10:15:00\r\nEvent Log: System\r\n");
    EXPECT_EQ(shell.balloonTitle, "Event Alert");
    EXPECT_EQ(shell.balloonIconKind, win::NIIF_INFO);
    EXPECT_EQ(shell.balloonTimeoutMs, 10000u);
    EXPECT_EQ(shell.tip, "Quarnel 1.0.0");
    EXPECT_NE(capture.Text().find("balloon \"Event Alert\": 10:15:00\\r\\nEvent Log: System\\r\\n"), std::string::npos)
        << capture.Text();

    tray.ShowBalloonTip("second", "", 2, vb::Variant("2500"));
    EXPECT_EQ(Shell().balloonTimeoutMs, 2500u);
    EXPECT_EQ(Shell().balloonTitle, "");
    tray.ShowBalloonTip("third");
    EXPECT_EQ(Shell().balloonTimeoutMs, 0u) << "a missing time-out is 0";
}

struct CutCase {
    const char* name;
    int platformId;  // 2 Unicode shell, 1 ANSI shell
    std::string text;
    std::string expectedText;
    std::string title;
    std::string expectedTitle;
};

void PrintTo(const CutCase& c, std::ostream* out) { *out << c.name; }

class SysTrayCutTest : public SysTrayTest, public testing::WithParamInterface<CutCase> {};

TEST_P(SysTrayCutTest, BalloonTextAndTitleAreCutToTheirFields) {
    const CutCase& c = GetParam();
    UseWindows(c.platformId == 2 ? 6 : 4, c.platformId == 2 ? 1 : 90, c.platformId);
    frmSysTray& tray = LoadedTray();
    tray.ShowBalloonTip(c.text, c.title, 1, 10000);
    EXPECT_EQ(Shell().balloonText, c.expectedText);
    EXPECT_EQ(Shell().balloonTitle, c.expectedTitle);
}

std::string Repeat(const std::string& unit, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += unit;
    return text;
}

const std::string kE = "\xC3\xA9";             // é: two bytes, one UTF-16 unit
const std::string kBell = "\xF0\x9F\x94\x94";  // a surrogate pair in UTF-16

INSTANTIATE_TEST_SUITE_P(
    Texts, SysTrayCutTest,
    testing::Values(CutCase{"UnicodeLong", 2, std::string(300, 'a'), std::string(255, 'a'), std::string(70, 't'),
                            std::string(63, 't')},
                    CutCase{"AnsiLong", 1, std::string(300, 'a'), std::string(255, 'a'), std::string(70, 't'),
                            std::string(63, 't')},
                    CutCase{"UnicodeExact", 2, std::string(255, 'a'), std::string(255, 'a'), std::string(63, 't'),
                            std::string(63, 't')},
                    CutCase{"UnicodeAccents", 2, Repeat(kE, 300), Repeat(kE, 255), Repeat(kE, 70), Repeat(kE, 63)},
                    // A character is never split: the cut falls before it.
                    CutCase{"UnicodePairAtTheEdge", 2, std::string(254, 'a') + kBell, std::string(254, 'a'),
                            std::string(62, 't') + kBell, std::string(62, 't')},
                    CutCase{"AnsiAccents", 1, Repeat(kE, 300), Repeat(kE, 127), "x" + Repeat(kE, 40),
                            "x" + Repeat(kE, 31)}),
    [](const testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

TEST_F(SysTrayCutTest, TooltipIsCutTo127OnAShellWithBalloons) {
    frmSysTray& tray = LoadedTray();
    tray.SetToolTip(std::string(130, 'q'));
    EXPECT_EQ(tray.ToolTip(), std::string(127, 'q'));
    EXPECT_EQ(Shell().tip, std::string(127, 'q'));
}

TEST_F(SysTrayTest, TheSameIconTwiceSendsOneModify) {
    frmSysTray& tray = LoadedTray();
    const win::HICON a1 = platform::LoadIconResource("a1");
    ASSERT_NE(a1, 0) << "the program's icon is embedded";
    EXPECT_EQ(platform::LoadIconResource("a1"), a1);
    EXPECT_FALSE(platform::IconOfHandle(a1).isNull());
    const int modifies = Shell().modifyCount;

    tray.SetIconHandle(a1);
    tray.SetIconHandle(platform::LoadIconResource("a1"));
    EXPECT_EQ(Shell().modifyCount, modifies + 1);
    EXPECT_EQ(Shell().icon, a1);
    EXPECT_EQ(tray.IconHandle(), a1);
    EXPECT_EQ(static_cast<win::HICON>(tray.IconId()), platform::LoadIconResource("frmSysTray"))
        << "the icon keeps its identifier";

    tray.SetIconHandle(platform::LoadIconResource("frmSysTray"));
    EXPECT_EQ(Shell().modifyCount, modifies + 2);
}

struct TipCase {
    const char* name;
    int platformId;
    int modifiesForTheSameTipTwice;
};

void PrintTo(const TipCase& c, std::ostream* out) { *out << c.name; }

class SysTrayTipTest : public SysTrayTest, public testing::WithParamInterface<TipCase> {};

// The ANSI shell's copy is compared first; the Unicode one is always sent.
TEST_P(SysTrayTipTest, RepeatedTooltip) {
    UseWindows(GetParam().platformId == 2 ? 6 : 4, GetParam().platformId == 2 ? 1 : 90, GetParam().platformId);
    frmSysTray& tray = LoadedTray();
    const int modifies = Shell().modifyCount;
    tray.SetToolTip("Quarnel 1.0.0");
    tray.SetToolTip("Quarnel 1.0.0");
    EXPECT_EQ(Shell().modifyCount, modifies + GetParam().modifiesForTheSameTipTwice);
    EXPECT_EQ(Shell().tip, "Quarnel 1.0.0");
}

INSTANTIATE_TEST_SUITE_P(Shells, SysTrayTipTest, testing::Values(TipCase{"Unicode", 2, 2}, TipCase{"Ansi", 1, 1}),
                         [](const testing::TestParamInfo<TipCase>& info) { return std::string(info.param.name); });

// Records every signal of the tray window as a short text.
class SignalLog {
public:
    explicit SignalLog(frmSysTray& tray) {
        QObject::connect(&tray, &frmSysTray::SysTrayMouseDown,
                         [this](std::int32_t b) { Add("down " + std::to_string(b)); });
        QObject::connect(&tray, &frmSysTray::SysTrayMouseUp,
                         [this](std::int32_t b) { Add("up " + std::to_string(b)); });
        QObject::connect(&tray, &frmSysTray::SysTrayMouseMove, [this] { Add("move"); });
        QObject::connect(&tray, &frmSysTray::SysTrayDoubleClick,
                         [this](std::int32_t b) { Add("double " + std::to_string(b)); });
        QObject::connect(&tray, &frmSysTray::MenuClick, [this](std::int32_t i, const std::string& key) {
            Add("menu " + std::to_string(i) + " " + key);
        });
        QObject::connect(&tray, &frmSysTray::BalloonShow, [this] { Add("balloon show"); });
        QObject::connect(&tray, &frmSysTray::BalloonHide, [this] { Add("balloon hide"); });
        QObject::connect(&tray, &frmSysTray::BalloonTimeOut, [this] { Add("balloon timeout"); });
        QObject::connect(&tray, &frmSysTray::BalloonClicked, [this] { Add("balloon clicked"); });
    }
    std::vector<std::string> entries;

private:
    void Add(const std::string& entry) { entries.push_back(entry); }
};

struct CodeCase {
    win::UINT code;
    std::vector<std::string> raised;
};

void PrintTo(const CodeCase& c, std::ostream* out) { *out << "code " << c.code; }

class SysTrayCallbackTest : public SysTrayTest, public testing::WithParamInterface<CodeCase> {};

TEST_P(SysTrayCallbackTest, CodeRaisesItsSignal) {
    frmSysTray& tray = LoadedTray();
    SignalLog log(tray);
    platform::SendTrayCallback(tray.OwnerHandle(), tray.IconId(), GetParam().code);
    EXPECT_EQ(log.entries, GetParam().raised);
}

INSTANTIATE_TEST_SUITE_P(Codes, SysTrayCallbackTest,
                         testing::Values(CodeCase{512, {"move"}}, CodeCase{513, {"down 1"}}, CodeCase{514, {"up 1"}},
                                         CodeCase{515, {"double 1"}}, CodeCase{516, {"down 2"}},
                                         CodeCase{517, {"up 2"}}, CodeCase{518, {"double 2"}},
                                         CodeCase{1026, {"balloon show"}}, CodeCase{1027, {"balloon hide"}},
                                         CodeCase{1028, {"balloon timeout"}}, CodeCase{1029, {"balloon clicked"}},
                                         // middle button, keyboard selection and the rest raise nothing
                                         CodeCase{519, {}}, CodeCase{520, {}}, CodeCase{521, {}}, CodeCase{1024, {}},
                                         CodeCase{1025, {}}, CodeCase{0, {}}, CodeCase{1030, {}}));

TEST_F(SysTrayTest, ClicksOfTheIconRaiseTheirButtons) {
    frmSysTray& tray = LoadedTray();
    SignalLog log(tray);
    platform::SimulateTrayActivation(tray.OwnerHandle(), tray.IconId(), QSystemTrayIcon::Context);
    platform::SimulateTrayActivation(tray.OwnerHandle(), tray.IconId(), QSystemTrayIcon::DoubleClick);
    platform::SimulateBalloonClick(tray.OwnerHandle(), tray.IconId());
    EXPECT_EQ(log.entries, (std::vector<std::string>{"down 2", "up 2", "double 1", "up 1", "balloon clicked"}));
}

// The monitor's double-click handler unloads the window from inside the
// window's own signal; the rest of that activation finds the icon gone.
TEST_F(SysTrayTest, UnloadedInsideItsOwnSignalIsDeletedLaterAndNeverReloads) {
    frmSysTray& tray = LoadedTray();
    SignalLog log(tray);
    QObject::connect(&tray, &frmSysTray::SysTrayDoubleClick, &tray, [&tray] { tray.Unload(); });
    testsupport::StderrCapture capture;
    platform::SimulateTrayActivation(tray.OwnerHandle(), tray.IconId(), QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"double 1"}));
    EXPECT_EQ(platform::TrayIconCount(), 0);
    ASSERT_TRUE(tray_) << "deletion waits until the signal has returned";

    tray_->ShowBalloonTip("late alert", "Event Alert", 1, 10000);
    tray_->SetToolTip("late");
    EXPECT_EQ(platform::TrayIconCount(), 0) << "an unloaded tray does not add its icon again";
    RunDeferredDeletes();
    EXPECT_FALSE(tray_);
    const std::string output = capture.Text();
    EXPECT_NE(output.find("NIM_DELETE"), std::string::npos) << output;
    EXPECT_EQ(output.find("NIM_ADD"), std::string::npos) << output;
}

TEST_F(SysTrayTest, DeletingALoadedTrayRemovesItsIcon) {
    LoadedTray();
    ASSERT_EQ(platform::TrayIconCount(), 1);
    delete tray_.data();
    EXPECT_EQ(platform::TrayIconCount(), 0);
}

TEST_F(SysTrayTest, UnloadingAnUnusedTrayAddsNoIcon) {
    tray_ = new frmSysTray;
    testsupport::StderrCapture capture;
    tray_->Unload();
    RunDeferredDeletes();
    EXPECT_FALSE(tray_);
    EXPECT_EQ(capture.Text().find("Shell_NotifyIcon"), std::string::npos) << capture.Text();
}

std::vector<std::string> Captions(const frmSysTray& tray) {
    std::vector<std::string> captions;
    for (int i = 0; i < tray.MenuElementCount(); ++i)
        captions.push_back(tray.MenuElement(i)->text().toStdString() + "|" +
                           tray.MenuElement(i)->data().toString().toStdString());
    return captions;
}

TEST_F(SysTrayTest, MenuItemsGetIndexesKeysAndClicks) {
    tray_ = new frmSysTray;
    ASSERT_EQ(tray_->MenuElementCount(), 1);
    EXPECT_FALSE(tray_->MenuElement(0)->isVisible()) << "element 0 waits for its item";
    EXPECT_EQ(tray_->AddMenuItem("&Show", "show"), 0);
    EXPECT_EQ(tray_->AddMenuItem("&Close", "close"), 1);
    EXPECT_EQ(tray_->AddMenuItem("&About", "about", true), 2);
    EXPECT_TRUE(tray_->MenuElement(0)->isVisible());
    EXPECT_EQ(Captions(*tray_), (std::vector<std::string>{"&Show|show", "&Close|close", "&About|about"}));
    EXPECT_EQ(tray_->DefaultMenuIndex(), 2);

    SignalLog log(*tray_);
    tray_->MenuElement(1)->trigger();
    EXPECT_EQ(log.entries, (std::vector<std::string>{"menu 1 close"}));

    tray_->EnableMenuItem(1, false);
    EXPECT_FALSE(tray_->MenuElement(1)->isEnabled());
    tray_->EnableMenuItem(7, false);  // not an element: nothing happens

    tray_->SetDefaultMenuIndex(1);
    EXPECT_EQ(tray_->DefaultMenuIndex(), 1);
    tray_->SetDefaultMenuIndex(3);
    EXPECT_EQ(tray_->DefaultMenuIndex(), 0);
    tray_->SetDefaultMenuIndex(-1);
    EXPECT_EQ(tray_->DefaultMenuIndex(), 0);
}

TEST_F(SysTrayTest, RemovingMenuItemsMovesTheFollowingOnesDown) {
    tray_ = new frmSysTray;
    tray_->AddMenuItem("&Show", "show");
    tray_->AddMenuItem("&Close", "close");
    tray_->AddMenuItem("&About", "about");

    EXPECT_EQ(tray_->RemoveMenuItem(1), 0);
    EXPECT_EQ(Captions(*tray_), (std::vector<std::string>{"&Show|show", "&About|about"}));
    SignalLog log(*tray_);
    tray_->MenuElement(1)->trigger();
    EXPECT_EQ(log.entries, (std::vector<std::string>{"menu 1 about"}));

    EXPECT_EQ(tray_->RemoveMenuItem(5), 0);
    EXPECT_EQ(tray_->RemoveMenuItem(-1), 0);
    EXPECT_EQ(tray_->MenuElementCount(), 2);

    // Element 0 cannot be unloaded: only its caption goes.
    EXPECT_EQ(tray_->RemoveMenuItem(0), 0);
    EXPECT_EQ(Captions(*tray_), (std::vector<std::string>{"|show", "&About|about"}));
}

TEST_F(SysTrayTest, ShowMenuWithoutADisplayReturnsAtOnce) {
    frmSysTray& tray = LoadedTray();
    tray.AddMenuItem("&Close", "close", true);
    SignalLog log(tray);
    EXPECT_TRUE(tray.ShowMenu().IsEmpty());
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(SysTrayTest, WindowsVersionIsSplitIntoItsParts) {
    UseWindows(4, 90, 1);
    host_.WriteHostIni("Version", "Build", "3000");
    const frmSysTray::WinVersion me = frmSysTray::GetWinVersion();
    EXPECT_EQ(me.major, 4u);
    EXPECT_EQ(me.minor, 90u);
    EXPECT_EQ(me.build, 3000u);
    EXPECT_FALSE(me.isNT);
    UseWindows(6, 1, 2);
    host_.WriteHostIni("Version", "Build", "7601");
    const frmSysTray::WinVersion seven = frmSysTray::GetWinVersion();
    EXPECT_EQ(seven.major, 6u);
    EXPECT_EQ(seven.minor, 1u);
    EXPECT_EQ(seven.build, 7601u);
    EXPECT_TRUE(seven.isNT);
}

}  // namespace
