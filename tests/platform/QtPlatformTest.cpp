// The windowing pieces of the host layer that the start-up relies on: the
// offscreen choice, the one message-box function, modal windows without a
// display, the event pump and the shell's open action.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "support/TestApplication.h"
#include "platform/api/EventLoop.h"
#include "platform/api/MessageBox.h"
#include "platform/host/QtPlatform.h"
#include "platform/api/Shell.h"
#include "support/ScopedVariable.h"
#include "support/TempHost.h"

namespace {

namespace fs = std::filesystem;


using testsupport::ScopedVariable;

struct PlatformChoiceCase {
    std::optional<std::string> display;
    std::optional<std::string> wayland;
    std::optional<std::string> named;
    std::optional<std::string> expected;
};

void PrintTo(const PlatformChoiceCase& c, std::ostream* out) {
    auto text = [](const std::optional<std::string>& value) { return value ? "\"" + *value + "\"" : std::string("unset"); };
    *out << "DISPLAY " << text(c.display) << ", WAYLAND_DISPLAY " << text(c.wayland) << ", QT_QPA_PLATFORM "
         << text(c.named);
}

class ChooseQtPlatformTest : public testing::TestWithParam<PlatformChoiceCase> {};

TEST_P(ChooseQtPlatformTest, FallsBackToOffscreenOnlyWithoutDisplayOrChoice) {
    const PlatformChoiceCase& c = GetParam();
    ScopedVariable display("DISPLAY", c.display);
    ScopedVariable wayland("WAYLAND_DISPLAY", c.wayland);
    ScopedVariable named("QT_QPA_PLATFORM", c.named);
    platform::ChooseQtPlatform();
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    EXPECT_EQ(chosen ? std::optional<std::string>(chosen) : std::nullopt, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, ChooseQtPlatformTest,
    testing::Values(PlatformChoiceCase{std::nullopt, std::nullopt, std::nullopt, "offscreen"},
                    PlatformChoiceCase{"", "", std::nullopt, "offscreen"},
                    PlatformChoiceCase{":0", std::nullopt, std::nullopt, std::nullopt},
                    PlatformChoiceCase{std::nullopt, "wayland-0", std::nullopt, std::nullopt},
                    PlatformChoiceCase{std::nullopt, std::nullopt, "xcb", "xcb"},
                    PlatformChoiceCase{":0", std::nullopt, "minimal", "minimal"}));

class MessageBoxTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        platform::ClearMessageBoxQueue();
    }
    void TearDown() override { platform::ClearMessageBoxQueue(); }
};

TEST_F(MessageBoxTest, OffscreenIsNoDisplay) { EXPECT_FALSE(platform::HasDisplay()); }

struct DefaultCase {
    int buttons;
    int expected;
};

void PrintTo(const DefaultCase& c, std::ostream* out) { *out << "buttons " << c.buttons; }

class DefaultAnswerTest : public testing::TestWithParam<DefaultCase> {};

TEST_P(DefaultAnswerTest, IsTheDefaultButtonOfTheBox) {
    EXPECT_EQ(platform::DefaultMessageBoxAnswer(GetParam().buttons), GetParam().expected)
        << "buttons " << GetParam().buttons;
}

INSTANTIATE_TEST_SUITE_P(
    EveryStyle, DefaultAnswerTest,
    testing::Values(DefaultCase{vb::vbOKOnly, vb::vbOK}, DefaultCase{vb::vbOKCancel, vb::vbOK},
                    DefaultCase{vb::vbOKCancel + vb::vbDefaultButton2, vb::vbCancel},
                    DefaultCase{vb::vbAbortRetryIgnore, vb::vbAbort},
                    DefaultCase{vb::vbAbortRetryIgnore + vb::vbDefaultButton2, vb::vbRetry},
                    DefaultCase{vb::vbAbortRetryIgnore + vb::vbDefaultButton3, vb::vbIgnore},
                    DefaultCase{vb::vbYesNoCancel + vb::vbDefaultButton3 + vb::vbQuestion, vb::vbCancel},
                    DefaultCase{vb::vbYesNo + vb::vbExclamation, vb::vbYes},
                    DefaultCase{vb::vbYesNo + vb::vbDefaultButton2 + vb::vbCritical, vb::vbNo},
                    DefaultCase{vb::vbRetryCancel + vb::vbInformation, vb::vbRetry},
                    // A default beyond the last button falls back to the first, as on Windows.
                    DefaultCase{vb::vbYesNo + vb::vbDefaultButton3, vb::vbYes},
                    DefaultCase{vb::vbOKOnly + vb::vbDefaultButton2, vb::vbOK}));

TEST_F(MessageBoxTest, WithoutDisplayLogsTheBoxAndTakesItsDefault) {
    testing::internal::CaptureStderr();
    const int answer = vb::MsgBox("Delete the rule?", vb::vbYesNo + vb::vbDefaultButton2, "Quarnel Config");
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, vb::vbNo);
    EXPECT_NE(output.find("Quarnel Config"), std::string::npos) << output;
    EXPECT_NE(output.find("Delete the rule?"), std::string::npos) << output;
}

TEST_F(MessageBoxTest, EmptyTitleShowsTheProgramTitle) {
    testing::internal::CaptureStderr();
    vb::MsgBox("Saved.");
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(output.find("\"Quarnel\""), std::string::npos) << output;
}

TEST_F(MessageBoxTest, QueuedAnswersAreUsedInOrderThenTheDefaultAgain) {
    platform::QueueMessageBoxAnswer(vb::vbCancel);
    platform::QueueMessageBoxAnswer(vb::vbRetry);
    testing::internal::CaptureStderr();
    EXPECT_EQ(vb::MsgBox("a", vb::vbOKCancel), vb::vbCancel);
    EXPECT_EQ(vb::MsgBox("b", vb::vbRetryCancel + vb::vbDefaultButton2), vb::vbRetry);
    EXPECT_EQ(vb::MsgBox("c", vb::vbRetryCancel + vb::vbDefaultButton2), vb::vbCancel);
    testing::internal::GetCapturedStderr();
}

// A window that counts how it is closed, as a form's unload handler would.
class CountingWindow : public QWidget {
public:
    int closeEvents = 0;
    bool refuseClose = false;

protected:
    void closeEvent(QCloseEvent* event) override {
        ++closeEvents;
        if (refuseClose) event->ignore();
    }
};

TEST_F(MessageBoxTest, ModalWindowWithoutDisplayIsClosedAsByItsCloseBox) {
    CountingWindow window;
    window.setObjectName("frmPassword");
    window.setWindowTitle("Enter Password");
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform::ShowModal(&window), 0);
    const std::string output = testing::internal::GetCapturedStderr();
    EXPECT_EQ(window.closeEvents, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_NE(output.find("Enter Password"), std::string::npos) << output;
    EXPECT_NE(output.find("frmPassword"), std::string::npos) << output;
}

TEST_F(MessageBoxTest, ModalDialogWithoutDisplayEndsAsCancelled) {
    QDialog dialog;
    dialog.setObjectName("frmClientInfo");
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform::ShowModal(&dialog), QDialog::Rejected);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(MessageBoxTest, QueuedActionDrivesTheModalWindow) {
    QDialog dialog;
    bool sawItShown = false;
    platform::QueueModalAction([&](QWidget* window) {
        sawItShown = window == &dialog && window->isVisible();
        static_cast<QDialog*>(window)->accept();
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform::ShowModal(&dialog), QDialog::Accepted);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(sawItShown);
}

// A window deleted on close must not be touched after its close.
TEST_F(MessageBoxTest, ModalWindowDeletedByTheActionIsSurvived) {
    auto* window = new QWidget;
    platform::QueueModalAction([](QWidget* shown) { delete shown; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform::ShowModal(window), 0);
    testing::internal::GetCapturedStderr();
}

TEST_F(MessageBoxTest, AnyWindowLoadedFollowsTopLevelWindows) {
    EXPECT_FALSE(platform::AnyWindowLoaded());
    auto* hidden = new QWidget;
    EXPECT_TRUE(platform::AnyWindowLoaded());
    hidden->deleteLater();
    EXPECT_FALSE(platform::AnyWindowLoaded());
}

TEST_F(MessageBoxTest, DoEventsRunsPendingEvents) {
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    for (int i = 0; i < 1000 && !ran; ++i) vb::DoEvents();
    EXPECT_TRUE(ran);
}

// A stand-in for the desktop's handler that records the arguments it got.
class ShellExecuteTest : public testing::Test {
protected:
    void SetUp() override {
        handlerFolder_ = host_.Folder() / "handler";
        record_ = host_.Folder() / "opened.txt";
        fs::create_directories(handlerFolder_);
        testsupport::WriteHostFile(handlerFolder_ / "xdg-open",
                                   "#!/bin/sh\n"
                                   "{ printf '%s\\n' \"$#\"; printf '%s\\n' \"$@\"; } > \"$QUARNEL_TEST_RECORD.part\"\n"
                                   "mv \"$QUARNEL_TEST_RECORD.part\" \"$QUARNEL_TEST_RECORD\"\n");
        fs::permissions(handlerFolder_ / "xdg-open", fs::perms::owner_all);
        path_.emplace("PATH", handlerFolder_.string() + ":/usr/bin:/bin");
        recordVariable_.emplace("QUARNEL_TEST_RECORD", record_.string());
    }

    // The handler runs on its own; wait for its record (a generous limit only
    // keeps a broken handler from hanging the test).
    std::string WaitForRecord() {
        for (int i = 0; i < 3000 && !fs::exists(record_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return testsupport::ReadHostFile(record_);
    }

    testsupport::TempHost host_;
    fs::path handlerFolder_;
    fs::path record_;
    std::optional<ScopedVariable> path_;
    std::optional<ScopedVariable> recordVariable_;
};

TEST_F(ShellExecuteTest, HandsTheAddressOverAsOneArgumentWithoutAShell) {
    const fs::path marker = host_.Folder() / "shell-ran";
    const std::string address =
        "https://example.com/a b?x=1&y=2;touch " + marker.string() + " $(touch " + marker.string() + ") `id`";
    EXPECT_GT(win::ShellExecuteA(0, "", address, "", "", win::SW_SHOWNORMAL), 32);
    EXPECT_EQ(WaitForRecord(), "1\n" + address + "\n");
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(ShellExecuteTest, OpensAWindowsFileAsTheHostFileItNames) {
    testsupport::WriteHostFile(host_.HostOf("C:\\Users\\Public\\Desktop\\report.txt"), "x");
    EXPECT_GT(win::ShellExecuteA(0, "open", "C:\\Users\\Public\\Desktop\\report.txt", "", "", 1), 32);
    const std::string record = WaitForRecord();
    EXPECT_NE(record.find("/drive_c/Users/Public/Desktop/report.txt"), std::string::npos) << record;
}

TEST_F(ShellExecuteTest, FailsWithoutADesktopHandler) {
    fs::remove(handlerFolder_ / "xdg-open");
    EXPECT_LE(win::ShellExecuteA(0, "", "https://example.com/", "", "", 1), 32);
}

TEST_F(ShellExecuteTest, FailsForAnEmptyAddressOrAnUnknownVerb) {
    EXPECT_LE(win::ShellExecuteA(0, "", "", "", "", 1), 32);
    EXPECT_LE(win::ShellExecuteA(0, "print", "https://example.com/", "", "", 1), 32);
    EXPECT_FALSE(fs::exists(record_));
}

}  // namespace
