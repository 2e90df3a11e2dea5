// The configuration windows of the real Quarnel.exe on an X display (Xvfb),
// driven from outside with xdotool: found by their caption, side-bar items
// clicked where their layout puts them; "Save && Close" writes the files,
// starts Quarnel_Stop.exe "/showform", which ends the window's process and
// opens the history view; a monitor started afterwards alerts on the rules.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "config/frmConfig2.h"
#include "platform/api/ProfileIni.h"
#include "platform/api/Process.h"
#include "support/ProgramRun.h"
#include "support/TempHost.h"
#include "support/XvfbServer.h"
#include "support/EventCreateRun.h"

namespace {

namespace fs = std::filesystem;
using testsupport::RunningProgram;

const std::string kCaption = "Quarnel  v1.0  Configuration";
const std::string kBalloon = "\tShell_NotifyIcon NIM_MODIFY: balloon \"Event Alert\": ";

class ConfigWindowRun : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(x_.Display().empty()) << "Xvfb did not start";
        programFolder_ = testsupport::InstallProgram(host_);
    }

    std::unique_ptr<RunningProgram> Start(const std::string& commandLine) {
        auto program =
            std::make_unique<RunningProgram>(host_, programFolder_ / "Quarnel.exe", commandLine, x_.Display());
        EXPECT_TRUE(program->WaitForOutput(testsupport::kConfigWindowLoaded, std::chrono::seconds(60)))
            << program->DebugOutput();
        return program;
    }

    // xdotool's output, without its last line end.
    std::string XDoTool(const std::string& arguments) const { return x_.XDoTool(arguments); }

    std::string FindWindow() const { return XDoTool("search --sync --onlyvisible --name '^" + kCaption + "$'"); }

    void ClickAt(const std::string& window, int x, int y) const {
        XDoTool("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    void ClickTwinLabel(const std::string& window, int index) const {
        ClickAt(window, 60, kSideBarTop + SideBarRow(index) * kSideBarRowHeight + kSideBarRowHeight / 2);
    }

    // Save & Zip leaves the archive on the public desktop and says so in a
    // message box, which is answered here.
    void ExpectConfigOnDesktop(RunningProgram& window) const {
        const std::string saved = "MsgBox \"Quarnel\": Your config is saved to your desktop.";
        const std::string box = XDoTool("search --sync --onlyvisible --name '^Quarnel$'");
        XDoTool("key --window " + box + " Return");
        EXPECT_TRUE(window.WaitForOutput(saved, std::chrono::seconds(60))) << window.DebugOutput();
        EXPECT_TRUE(fs::exists(host_.HostOf("C:\\Users\\Public\\Desktop\\QuarnelConfig.zip")));
        EXPECT_FALSE(fs::exists(programFolder_ / "Rules.zip"));
    }

    void Setting(const std::string& section, const std::string& key, const std::string& value) const {
        platform::WriteIniValue(testsupport::InstalledIni(host_), section, key, value);
    }
    std::optional<std::string> Stored(const std::string& section, const std::string& key) const {
        return platform::ReadIniValue(testsupport::InstalledIni(host_), section, key);
    }

    testsupport::XvfbServer x_;
    testsupport::TempHost host_;
    fs::path programFolder_;
};

TEST_F(ConfigWindowRun, SafeModeSaveAndCloseWritesTheFilesAndReopensTheHistoryView) {
    Setting("General", "StartupSet", "1");
    Setting("General", "ShowTaskBar", "1");
    testsupport::WriteHostFile(programFolder_ / "Rules" / "Print Spooler.DAT",
                               "[LogFile]\r\nSystem=1\r\n[EventType]\r\nError=1\r\n"
                               "[EventDetail]\r\nEventID=7036\r\nEventDesc=spooler\r\n");
    testsupport::WriteHostFile(programFolder_ / "Rules" / "GlobalExclusion_EventSource_List.txt",
                               "Noisy\r\nNOISY\r\nnoisy\r\n");
    auto window = Start("/configsafe");
    const std::string id = FindWindow();
    ASSERT_FALSE(id.empty());
    ClickTwinLabel(id, 2);   // Alert Rules
    ClickTwinLabel(id, 11);  // Save & Zip: saves, the window stays
    ExpectConfigOnDesktop(*window);
    EXPECT_TRUE(window->IsRunning());
    ClickTwinLabel(id, 9);   // Save & Close
    const testsupport::ProgramResult ended = window->Wait(std::chrono::seconds(60));
    EXPECT_FALSE(ended.killed) << ended.debugOutput;
    ASSERT_TRUE(window->WaitForOutput(testsupport::kTrayIconAdded)) << window->DebugOutput();
    EXPECT_EQ(window->DebugOutput().find(testsupport::kSubscribed), std::string::npos);

    // The save wrote StartupSet "0", so the history view registered the start at log-on again.
    EXPECT_TRUE(window->WaitForOutput("The scheduled task \"Quarnel\" has successfully been created."))
        << window->DebugOutput();
    EXPECT_EQ(Stored("General", "StartupSet"), "1");
    EXPECT_EQ(Stored("General", "ShowTrayIcon"), "1");
    EXPECT_EQ(Stored("ScheduledTasks", "HeartbeatTime"), "10:00:00");
    EXPECT_EQ(testsupport::ReadHostFile(programFolder_ / "Rules" / "GlobalExclusion_EventSource_List.txt"),
              "Noisy\r\n");
    window.reset();  // ends the history view with the window's process group

    RunningProgram monitor(host_, programFolder_ / "Quarnel.exe", "");
    ASSERT_TRUE(monitor.WaitForOutput(testsupport::kSubscribed)) << monitor.DebugOutput();
    EXPECT_EQ(testsupport::RunInstalledEventCreate("/L SYSTEM /T ERROR /ID 7036 /SO \"Service Control Manager\" "
                                                   "/D \"The Print Spooler service entered the stopped state.\""),
              0u);
    EXPECT_TRUE(monitor.WaitForOutput(kBalloon)) << monitor.DebugOutput();
    testsupport::StopLiveMonitor(host_, monitor);
}

// The explorer bar's rows in pixels of the window: every group open, 240
// twips before each group, a 375-twip header, rows 300 twips apart starting
// 100 below it, 240 twips after each body; 15 twips to the pixel.
int SubItemCenterY(int group, int item) {
    constexpr int kItems[] = {4, 4, 3};
    int top = 240;
    for (int before = 1; before < group; ++before) top += 375 + 100 + 300 * kItems[before - 1] + 240;
    return (top + 375 + 100 + 300 * (item - 1) + 120) / 15;
}

TEST_F(ConfigWindowRun, ExplorerBarSaveAndCloseReopensTheHistoryView) {
    testsupport::WriteHostFile(programFolder_ / "Rules" / "Heartbeat_Partition_List.txt", "D:\r\nd:\r\n");
    auto window = Start("/config");
    ASSERT_TRUE(window->DebugOutput().find(std::string("frmConfig") + testsupport::kConfigWindowLoaded) !=
                std::string::npos);
    const std::string id = FindWindow();
    ASSERT_FALSE(id.empty());
    ClickAt(id, 40, SubItemCenterY(2, 2));  // Heartbeat (Advanced)
    ClickAt(id, 40, SubItemCenterY(3, 1));  // Save & Zip: the window stays
    ExpectConfigOnDesktop(*window);
    ClickAt(id, 40, SubItemCenterY(3, 3));  // Save & Close
    const testsupport::ProgramResult ended = window->Wait(std::chrono::seconds(60));
    EXPECT_FALSE(ended.killed) << ended.debugOutput;
    ASSERT_TRUE(window->WaitForOutput(testsupport::kTrayIconAdded)) << window->DebugOutput();
    EXPECT_EQ(testsupport::ReadHostFile(programFolder_ / "Rules" / "Heartbeat_Partition_List.txt"), "D:\r\n");
}

TEST_F(ConfigWindowRun, ConfigOnlyCancelEndsWithoutRestartingTheMonitor) {
    Setting("General", "Identifier", "before");
    auto window = Start("/configonly");
    const std::string id = FindWindow();
    ASSERT_FALSE(id.empty());
    ClickAt(id, 40, SubItemCenterY(3, 2));  // Cancel & Close
    const testsupport::ProgramResult ended = window->Wait(std::chrono::seconds(60));
    EXPECT_FALSE(ended.killed) << ended.debugOutput;
    EXPECT_EQ(ended.exitCode, 0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(window->DebugOutput().find("Quarnel_Stop"), std::string::npos) << window->DebugOutput();
    EXPECT_EQ(window->DebugOutput().find(testsupport::kTrayIconAdded), std::string::npos) << window->DebugOutput();
    EXPECT_EQ(Stored("General", "Identifier"), "before");
}

}  // namespace
