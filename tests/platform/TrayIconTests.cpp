// The shell's notification-area calls over Qt's tray: records as Windows
// programs fill them, the callback codes the owner window receives, and runs
// without a tray that fail nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWidget>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/TestApplication.h"
#include "platform/api/TrayIcon.h"
#include "support/PeerProcess.h"
#include "support/ScopedVariable.h"
#include "support/StderrCapture.h"

namespace {

using win::UINT;


// An owner window that records the x of every mouse move it gets.
class OwnerWindow : public QWidget {
public:
    std::vector<UINT> codes;
    std::function<void(UINT)> onCode;

protected:
    void mouseMoveEvent(QMouseEvent* event) override {
        const auto code = static_cast<UINT>(event->position().x());
        codes.push_back(code);
        if (onCode) onCode(code);
    }
};

template <std::size_t N>
void Fill(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

template <std::size_t N>
void Fill(char16_t (&field)[N], const std::u16string& text) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), std::min(text.size(), N) * sizeof(char16_t));
}

class TrayIconTest : public testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        owner_ = std::make_unique<OwnerWindow>();
        handle_ = platform::HandleOfWindow(owner_.get());
        previousInterval_ = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    }
    void TearDown() override {
        win::NOTIFYICONDATAA data = Record();
        win::Shell_NotifyIconA(win::NIM_DELETE, &data);
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(previousInterval_);
    }

    win::NOTIFYICONDATAA Record(win::DWORD size = win::NOTIFYICONDATAA_V2_SIZE) const {
        win::NOTIFYICONDATAA data{};
        data.cbSize = size;
        data.hWnd = handle_;
        data.uID = kId;
        return data;
    }

    // Adds the icon with the mouse-move callback and a tooltip.
    void AddIcon(const std::string& tip = "Quarnel") {
        win::NOTIFYICONDATAA data = Record();
        data.uFlags = win::NIF_MESSAGE | win::NIF_ICON | win::NIF_TIP;
        data.uCallbackMessage = win::WM_MOUSEMOVE;
        data.hIcon = 0x4242;
        Fill(data.szTip, tip);
        ASSERT_TRUE(win::Shell_NotifyIconA(win::NIM_ADD, &data));
    }

    platform::TrayIconInfo Info() const {
        auto info = platform::QueryTrayIcon(handle_, kId);
        EXPECT_TRUE(info.has_value());
        return info.value_or(platform::TrayIconInfo{});
    }

    static constexpr UINT kId = 7;
    std::unique_ptr<OwnerWindow> owner_;
    win::HWND handle_ = 0;
    int previousInterval_ = 400;
};

TEST_F(TrayIconTest, AddModifyDeleteAreKeptAndWrittenToTheDebugOutput) {
    testsupport::StderrCapture capture;
    AddIcon("Quarnel Desktop Monitor");
    EXPECT_EQ(platform::TrayIconCount(), 1);
    EXPECT_EQ(Info().tip, "Quarnel Desktop Monitor");
    EXPECT_EQ(Info().icon, 0x4242);
    EXPECT_EQ(Info().callbackMessage, win::WM_MOUSEMOVE);

    win::NOTIFYICONDATAA data = Record();
    data.uTimeoutOrVersion = win::NOTIFYICON_VERSION;
    EXPECT_TRUE(win::Shell_NotifyIconA(win::NIM_SETVERSION, &data));
    EXPECT_EQ(Info().version, 3u);

    data.uFlags = win::NIF_INFO;
    Fill(data.szInfo, "10:15:00\r\nEvent Log: System\r\nEvent ID: 7036\r\n");
    Fill(data.szInfoTitle, "Event Alert");
    data.uTimeoutOrVersion = 10000;
    data.dwInfoFlags = win::NIIF_INFO;
    EXPECT_TRUE(win::Shell_NotifyIconA(win::NIM_MODIFY, &data));
    const platform::TrayIconInfo info = Info();
    EXPECT_EQ(info.balloonCount, 1);
    EXPECT_EQ(info.balloonTitle, "Event Alert");
    EXPECT_EQ(info.balloonText, "10:15:00\r\nEvent Log: System\r\nEvent ID: 7036\r\n");
    EXPECT_EQ(info.balloonIconKind, win::NIIF_INFO);
    EXPECT_EQ(info.balloonTimeoutMs, 10000u);
    EXPECT_EQ(info.tip, "Quarnel Desktop Monitor") << "a balloon alone leaves the tooltip";

    EXPECT_TRUE(win::Shell_NotifyIconA(win::NIM_DELETE, &data));
    EXPECT_FALSE(platform::QueryTrayIcon(handle_, kId));
    EXPECT_EQ(platform::TrayIconCount(), 0);

    const std::string output = capture.Text();
    EXPECT_NE(output.find("\tShell_NotifyIcon NIM_ADD: window " + std::to_string(handle_) + ", id 7"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("tip \"Quarnel Desktop Monitor\""), std::string::npos) << output;
    EXPECT_NE(output.find("NIM_SETVERSION"), std::string::npos) << output;
    EXPECT_NE(output.find("\tShell_NotifyIcon NIM_MODIFY: balloon \"Event Alert\": "
                          "10:15:00\\r\\nEvent Log: System\\r\\nEvent ID: 7036\\r\\n (icon 1, 10000 ms)\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("\tShell_NotifyIcon NIM_DELETE: window"), std::string::npos) << output;
}

TEST_F(TrayIconTest, CallsForAMissingOrDuplicateIconFail) {
    win::NOTIFYICONDATAA data = Record();
    testsupport::StderrCapture capture;
    EXPECT_FALSE(win::Shell_NotifyIconA(win::NIM_MODIFY, &data));
    EXPECT_FALSE(win::Shell_NotifyIconA(win::NIM_DELETE, &data));
    EXPECT_FALSE(win::Shell_NotifyIconA(win::NIM_SETVERSION, &data));
    AddIcon();
    EXPECT_FALSE(win::Shell_NotifyIconA(win::NIM_ADD, &data));
    EXPECT_FALSE(win::Shell_NotifyIconA(3, &data));
    data.uTimeoutOrVersion = 5;
    EXPECT_FALSE(win::Shell_NotifyIconA(win::NIM_SETVERSION, &data));
    EXPECT_FALSE(win::Shell_NotifyIconA(win::NIM_ADD, nullptr));
    win::NOTIFYICONDATAA tooSmall = Record(40);
    EXPECT_FALSE(win::Shell_NotifyIconA(win::NIM_MODIFY, &tooSmall));
    EXPECT_EQ(platform::TrayIconCount(), 1);
}

// The record's size says which fields the shell reads.
TEST_F(TrayIconTest, RecordSizeDecidesTooltipLengthAndBalloonFields) {
    struct Case {
        bool wide;
        win::DWORD size;
        std::size_t tipLength;
        bool balloon;
    };
    const std::string longTip(200, 't');
    for (const Case& c :
         {Case{false, win::NOTIFYICONDATAA_V2_SIZE, 127, true}, Case{false, win::NOTIFYICONDATAA_V1_SIZE, 63, false},
          Case{true, win::NOTIFYICONDATAW_V2_SIZE, 127, true}, Case{true, win::NOTIFYICONDATAW_V1_SIZE, 63, false}}) {
        SCOPED_TRACE(testing::Message() << (c.wide ? "W" : "A") << " size " << c.size);
        if (c.wide) {
            win::NOTIFYICONDATAW data{};
            data.cbSize = c.size;
            data.hWnd = handle_;
            data.uID = kId;
            data.uFlags = win::NIF_TIP;
            Fill(data.szTip, std::u16string(200, u't'));
            ASSERT_TRUE(win::Shell_NotifyIconW(win::NIM_ADD, &data));
            data.uFlags = win::NIF_INFO;
            Fill(data.szInfo, u"text");
            EXPECT_TRUE(win::Shell_NotifyIconW(win::NIM_MODIFY, &data));
        } else {
            win::NOTIFYICONDATAA data = Record(c.size);
            data.uFlags = win::NIF_TIP;
            Fill(data.szTip, longTip);
            ASSERT_TRUE(win::Shell_NotifyIconA(win::NIM_ADD, &data));
            data.uFlags = win::NIF_INFO;
            Fill(data.szInfo, "text");
            EXPECT_TRUE(win::Shell_NotifyIconA(win::NIM_MODIFY, &data));
        }
        const platform::TrayIconInfo info = Info();
        EXPECT_EQ(info.tip, std::string(c.tipLength, 't'));
        EXPECT_EQ(info.lastRecordSize, c.size);
        EXPECT_EQ(info.balloonCount, c.balloon ? 1 : 0);
        win::NOTIFYICONDATAA gone = Record();
        ASSERT_TRUE(win::Shell_NotifyIconA(win::NIM_DELETE, &gone));
    }
}

TEST_F(TrayIconTest, WideTextsArriveAsUtf8) {
    win::NOTIFYICONDATAW data{};
    data.cbSize = win::NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = handle_;
    data.uID = kId;
    data.uFlags = win::NIF_TIP;
    Fill(data.szTip, u"Überwachung \U0001F514");
    ASSERT_TRUE(win::Shell_NotifyIconW(win::NIM_ADD, &data));
    EXPECT_EQ(Info().tip,
              "\xC3\x9C"
              "berwachung \xF0\x9F\x94\x94");
}

TEST_F(TrayIconTest, EmptyBalloonTextRemovesTheBalloonWithoutCountingOne) {
    AddIcon();
    win::NOTIFYICONDATAA data = Record();
    data.uFlags = win::NIF_INFO;
    testsupport::StderrCapture capture;
    EXPECT_TRUE(win::Shell_NotifyIconA(win::NIM_MODIFY, &data));
    EXPECT_EQ(Info().balloonCount, 0);
    EXPECT_NE(capture.Text().find("balloon removed"), std::string::npos);
}

// Without a tray the balloon goes nowhere: no window of its own appears.
TEST_F(TrayIconTest, BalloonWithoutATrayOpensNoWindow) {
    AddIcon();
    win::NOTIFYICONDATAA data = Record();
    data.uFlags = win::NIF_INFO;
    Fill(data.szInfo, "alert");
    EXPECT_TRUE(win::Shell_NotifyIconA(win::NIM_MODIFY, &data));
    QCoreApplication::processEvents();
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_EQ(window, owner_.get()) << window->metaObject()->className();
}

// A session bus that takes the connection and never says a word: each
// balloon is handed over and the call returns; once the bus has kept silent
// for longer than an answer may take, the next balloon is dropped at once,
// with a line that says why.
TEST_F(TrayIconTest, WithoutATrayABusThatNeverAnswersHoldsUpNoBalloon) {
    const std::string socket = "/tmp/quarnel-silent-bus-" + std::to_string(::getpid());
    testsupport::PeerProcess bus({testsupport::kSystemPython, "-c",
                                  "import socket, sys\n"
                                  "s = socket.socket(socket.AF_UNIX)\n"
                                  "s.bind(sys.argv[1])\n"
                                  "s.listen(8)\n"
                                  "print('ready', flush=True)\n"
                                  "held = []\n"
                                  "while True: held.append(s.accept())\n",
                                  socket});
    ASSERT_TRUE(bus.Ready());
    testsupport::ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + socket);
    AddIcon();
    const auto balloon = [&](const std::string& text) {
        win::NOTIFYICONDATAA data = Record();
        data.uFlags = win::NIF_INFO;
        Fill(data.szInfo, text);
        data.uTimeoutOrVersion = 10000;
        return win::Shell_NotifyIconA(win::NIM_MODIFY, &data);
    };
    testsupport::StderrCapture capture;
    EXPECT_TRUE(balloon("first"));
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_TRUE(balloon("second"));
    EXPECT_EQ(Info().balloonCount, 2);
    EXPECT_NE(capture.Text().find("\tShell_NotifyIcon NIM_MODIFY: balloon dropped: the session bus has not answered for 3 s\n"),
              std::string::npos)
        << capture.Text();
    // The connection then fails, and the process can end.
    bus.Stop();
    std::filesystem::remove(socket);
}

TEST_F(TrayIconTest, CallbackCodesReachTheOwnerAsMouseMoveX) {
    AddIcon();
    for (UINT code : {win::WM_MOUSEMOVE, win::WM_LBUTTONDBLCLK, win::NIN_BALLOONUSERCLICK, 0x401u})
        platform::SendTrayCallback(handle_, kId, code);
    EXPECT_EQ(owner_->codes, (std::vector<UINT>{0x200, 0x203, 0x405, 0x401}));
}

TEST_F(TrayIconTest, NothingReachesAnOwnerWithoutTheMouseMoveCallback) {
    win::NOTIFYICONDATAA data = Record();
    data.uFlags = win::NIF_TIP;  // no NIF_MESSAGE
    ASSERT_TRUE(win::Shell_NotifyIconA(win::NIM_ADD, &data));
    platform::SendTrayCallback(handle_, kId, win::WM_LBUTTONDOWN);
    data.uFlags = win::NIF_MESSAGE;
    data.uCallbackMessage = 0x8001;  // a message of the program's own
    ASSERT_TRUE(win::Shell_NotifyIconA(win::NIM_MODIFY, &data));
    platform::SendTrayCallback(handle_, kId, win::WM_LBUTTONDOWN);
    platform::SendTrayCallback(handle_, kId + 1, win::WM_LBUTTONDOWN);
    EXPECT_TRUE(owner_->codes.empty());
}

struct ActivationCase {
    const char* name;
    std::vector<QSystemTrayIcon::ActivationReason> reasons;
    int doubleClickInterval;
    std::vector<UINT> codes;
};

void PrintTo(const ActivationCase& c, std::ostream* out) { *out << c.name; }

class TrayActivationTest : public TrayIconTest, public testing::WithParamInterface<ActivationCase> {};

// Qt's activations turn into the button codes the shell's own tray sends.
TEST_P(TrayActivationTest, GivesTheShellsButtonCodes) {
    const ActivationCase& c = GetParam();
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(c.doubleClickInterval);
    AddIcon();
    for (auto reason : c.reasons) platform::SimulateTrayActivation(handle_, kId, reason);
    EXPECT_EQ(owner_->codes, c.codes);
}

constexpr int kLongInterval = 3600 * 1000;  // two calls in a row always fall within it
using QR = QSystemTrayIcon;

INSTANTIATE_TEST_SUITE_P(
    Reasons, TrayActivationTest,
    testing::Values(
        ActivationCase{"left click", {QR::Trigger}, kLongInterval, {0x201, 0x202}},
        ActivationCase{"right click", {QR::Context}, kLongInterval, {0x204, 0x205}},
        ActivationCase{"middle click", {QR::MiddleClick}, kLongInterval, {0x207, 0x208}},
        ActivationCase{"Qt double click", {QR::DoubleClick}, kLongInterval, {0x203, 0x202}},
        ActivationCase{"two left clicks", {QR::Trigger, QR::Trigger}, kLongInterval, {0x201, 0x202, 0x203, 0x202}},
        ActivationCase{"two right clicks", {QR::Context, QR::Context}, kLongInterval, {0x204, 0x205, 0x206, 0x205}},
        ActivationCase{"three left clicks",
                       {QR::Trigger, QR::Trigger, QR::Trigger},
                       kLongInterval,
                       {0x201, 0x202, 0x203, 0x202, 0x201, 0x202}},
        ActivationCase{"left then right", {QR::Trigger, QR::Context}, kLongInterval, {0x201, 0x202, 0x204, 0x205}},
        // The press and double click an X11 tray reports are one double click.
        ActivationCase{
            "click and Qt double click", {QR::Trigger, QR::DoubleClick}, kLongInterval, {0x201, 0x202, 0x203, 0x202}},
        ActivationCase{"told and reported double click",
                       {QR::Trigger, QR::Trigger, QR::DoubleClick},
                       kLongInterval,
                       {0x201, 0x202, 0x203, 0x202}},
        ActivationCase{"clicks outside the interval", {QR::Trigger, QR::Trigger}, 0, {0x201, 0x202, 0x201, 0x202}},
        ActivationCase{"unknown reason", {QR::Unknown}, kLongInterval, {}}));

TEST_F(TrayIconTest, BalloonClickGivesTheUserClickCode) {
    AddIcon();
    platform::SimulateBalloonClick(handle_, kId);
    EXPECT_EQ(owner_->codes, (std::vector<UINT>{win::NIN_BALLOONUSERCLICK}));
}

// An owner that removes the icon inside its callback gets no further code of
// that activation, and nothing is touched after.
TEST_F(TrayIconTest, IconRemovedInsideItsOwnCallbackStopsTheRest) {
    AddIcon();
    owner_->onCode = [this](UINT) {
        win::NOTIFYICONDATAA data = Record();
        win::Shell_NotifyIconA(win::NIM_DELETE, &data);
    };
    platform::SimulateTrayActivation(handle_, kId, QSystemTrayIcon::Trigger);
    EXPECT_EQ(owner_->codes, (std::vector<UINT>{win::WM_LBUTTONDOWN}));
    EXPECT_EQ(platform::TrayIconCount(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(TrayIconTest, OwnerGoneMeansNoDelivery) {
    AddIcon();
    owner_.reset();
    EXPECT_EQ(platform::WindowOfHandle(handle_), nullptr);
    platform::SimulateTrayActivation(handle_, kId, QSystemTrayIcon::Trigger);
    platform::SendTrayCallback(handle_, kId, win::WM_LBUTTONDOWN);
}

TEST_F(TrayIconTest, WindowHandlesMapBackToTheirWindow) {
    EXPECT_NE(handle_, 0);
    EXPECT_EQ(platform::WindowOfHandle(handle_), owner_.get());
    EXPECT_EQ(platform::HandleOfWindow(nullptr), 0);
    EXPECT_EQ(platform::WindowOfHandle(0), nullptr);
}

TEST_F(TrayIconTest, UnknownIconsGiveNoHandleAndNoPicture) {
    EXPECT_EQ(platform::LoadIconResource("no-such-icon"), 0);
    EXPECT_TRUE(platform::IconOfHandle(0x4242).isNull());
}

}  // namespace
