// The real Quarnel.exe killed with SIGKILL while "Save && Close" writes the
// settings file: afterwards the file is wholly the old one or wholly the one
// an uninterrupted save writes, never a mix of their keys. The safe-mode twin
// runs on a private X server and its label is clicked with xdotool.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "ConfigWindowFixture.h"
#include "config/frmConfig2.h"
#include "support/ProgramRun.h"
#include "support/TempHost.h"
#include "support/XvfbServer.h"

namespace configtest {
namespace {

using Clock = std::chrono::steady_clock;

// A save adds every other key of the window and turns StartupSet to "0": a
// file with some of those changes and not the others is a mix.
const std::string kOld =
    "[General]\r\nUseSafeModeConfig=1\r\nPasswordProtectConfig=0\r\nStartupSet=1\r\nIdentifier=old\r\n";

class SaveKill : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(x_.Started()) << "Xvfb did not start";
        programFolder_ = testsupport::InstallProgram(host_);
    }

    fs::path Ini() const { return testsupport::InstalledIni(host_); }

    std::string XDoTool(const std::string& arguments) const { return x_.XDoTool(arguments); }

    // Opens the twin on the old settings; saveClick_ then clicks its "Save && Close".
    std::unique_ptr<testsupport::RunningProgram> StartSave() {
        for (const auto& entry : fs::directory_iterator(programFolder_))
            if (entry.path().extension() == ".tmp") fs::remove(entry.path());
        testsupport::WriteHostFile(Ini(), kOld);
        auto program = std::make_unique<testsupport::RunningProgram>(host_, programFolder_ / "Quarnel.exe",
                                                                     "/configonly", x_.Display());
        EXPECT_TRUE(program->WaitForOutput(testsupport::kConfigWindowLoaded, std::chrono::seconds(60)))
            << program->DebugOutput();
        const std::string window = XDoTool("search --sync --onlyvisible --name '^Quarnel  v1.0  Configuration$'");
        EXPECT_FALSE(window.empty());
        saveClick_ = "mousemove --window " + window + " 60 " + std::to_string(LabelY(9)) + " click 1";
        return program;
    }

    static int LabelY(int index) { return kSideBarTop + SideBarRow(index) * kSideBarRowHeight + kSideBarRowHeight / 2; }

    testsupport::XvfbServer x_;
    testsupport::TempHost host_;
    fs::path programFolder_;
    std::string saveClick_;
};

ino_t InodeOf(const fs::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(SaveKill, AKilledSaveLeavesTheOldFileOrTheNewOneWhole) {
    // An uninterrupted save gives the new file.
    {
        auto program = StartSave();
        XDoTool(saveClick_);
        const testsupport::ProgramResult ended = program->Wait(std::chrono::seconds(60));
        ASSERT_FALSE(ended.killed) << ended.debugOutput;
    }
    const std::string fresh = testsupport::ReadHostFile(Ini());
    ASSERT_NE(fresh, kOld);
    ASSERT_NE(fresh.find("StartupSet=0\r\n"), std::string::npos) << fresh;

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delayUs(0, 80000);
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < 16; ++round) {
        auto program = StartSave();
        const ino_t before = InodeOf(Ini());
        // Even rounds kill at the first change of the file, odd ones at a
        // random time from the start of the click: before, during or after the save.
        const int delay = delayUs(random);
        const auto clicked = Clock::now();
        std::thread click([this] { XDoTool(saveClick_); });
        const auto deadline = clicked + (round % 2 == 0 ? std::chrono::seconds(20) : std::chrono::microseconds(delay));
        while (Clock::now() < deadline && (round % 2 != 0 || InodeOf(Ini()) == before))
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        const int killed = ::kill(program->Pid(), SIGKILL);
        click.join();
        ASSERT_EQ(killed, 0);
        program->Wait(std::chrono::seconds(30));
        const std::string text = testsupport::ReadHostFile(Ini());
        if (text == kOld) ++sawOld;
        if (text == fresh) ++sawNew;
        EXPECT_TRUE(text == kOld || text == fresh)
            << "round " << round << (round % 2 ? ", killed " + std::to_string(delay) + " µs after the click" : ", killed at the first change")
            << ":\n" << text;
    }
    EXPECT_GT(sawNew, 0);
    std::printf("killed saves: %d left the old file, %d the new one\n", sawOld, sawNew);
}

}  // namespace
}  // namespace configtest
