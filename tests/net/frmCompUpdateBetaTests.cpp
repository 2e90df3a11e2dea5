// The program-update window against a real HTTPS site named as the fixed
// update host: the version test, the moves to the "_old" names, the restore
// when the archive brings no Quarnel.exe, and the restart. The program's
// files are small scripts that write to a log what they were started with.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <string>

#include "net/frmCompUpdateBeta.h"
#include "platform/api/FileApi.h"
#include "platform/api/Program.h"
#include "support/StderrCapture.h"
#include "support/TempHost.h"
#include "support/TestApplication.h"
#include "support/UpdateSite.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

const std::string kApp = "C:\\Program Files\\Quarnel\\";

class frmCompUpdateBetaTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::TestApplication();
        ASSERT_TRUE(site_.Ready());
        for (const char* name : {"Quarnel.exe", "Quarnel_Stop.exe", "QuarnelService.exe", "QuarnelControl.exe"})
            testsupport::WriteStandInProgram(App(name), std::string("old ") + name, Log());
    }

    fs::path App(const std::string& name) const { return host_.HostOf(kApp + name); }
    fs::path Log() const { return host_.Folder() / "started.log"; }
    std::string Started() const { return ReadHostFile(Log()); }

    // A program archive holding new programs of the given names.
    void PublishProgram(const std::vector<std::string>& names) {
        testsupport::ArchiveFiles files;
        for (const std::string& name : names) files[name] = testsupport::StandInProgramText("new " + name, Log());
        site_.PublishArchive("/files/QuarnelEXE.zip", files);
    }

    std::string RunUpdate(bool silent = false) {
        testsupport::StderrCapture debug;
        EXPECT_TRUE(testsupport::RunUntilUnloaded(new frmCompUpdateBeta(silent)));
        return debug.Text();
    }

    static std::string Newer() {
        return std::to_string(vb::App::Major()) + "." + std::to_string(vb::App::Minor()) + "." +
               std::to_string(vb::App::Revision() + 1);
    }

    testsupport::ProgramHost host_;
    testsupport::UpdateSite site_{host_};
};

struct VersionCase {
    const char* name;
    std::string indexVersion;  // empty: the running version's value +1 revision
    bool installs;
};

class VersionTest : public frmCompUpdateBetaTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionTest, InstallsOnlyAVersionAboveTheRunningOne) {
    const VersionCase& c = GetParam();
    PublishProgram({"Quarnel.exe"});
    site_.PublishIndex(c.indexVersion.empty() ? Newer() : c.indexVersion, site_.Url("/files/QuarnelEXE.zip"));
    const std::string debug = RunUpdate();
    EXPECT_NE(debug.find("DOWNLOAD SUCCEEDED:  BrindleUpdates.zip"), std::string::npos) << debug;
    EXPECT_EQ(site_.WasRequested("/files/QuarnelEXE.zip"), c.installs) << debug;
    EXPECT_EQ(fs::exists(App("Quarnel_old.exe")), c.installs);
    ASSERT_TRUE(testsupport::WaitForText(Log(), c.installs ? "new Quarnel.exe \n" : "old Quarnel.exe \n")) << Started();
    // The index stays in the program folder; its archive does not.
    EXPECT_TRUE(fs::exists(App("BrindleUpdates.ini")));
    EXPECT_FALSE(fs::exists(App("BrindleUpdates.zip")));
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionTest,
    ::testing::Values(VersionCase{"Newer", "", true},
                      VersionCase{"Equal", frmCompUpdateBeta::RunningVersion(), false},
                      VersionCase{"Older", "0.9.99", false}, VersionCase{"TwoNumbers", "99.0", false},
                      VersionCase{"Words", "two.zero.one", false}, VersionCase{"Empty", " ", false},
                      VersionCase{"Overflowing", "99999.0.0", false}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

// The window is closed while the control program runs: it only hides, and
// the update still runs to its end.
TEST_F(frmCompUpdateBetaTest, NewProgramReplacesTheOldFilesWhichKeepTheirOldNames) {
    PublishProgram({"Quarnel.exe", "Quarnel_Stop.exe", "QuarnelControl.exe"});
    site_.PublishIndex(Newer(), site_.Url("/files/QuarnelEXE.zip"));
    WriteHostFile(App("QuarnelService_old.exe"), "left from an earlier update");
    const fs::path running = host_.Folder() / "control-running";
    testsupport::WriteStandInProgram(App("QuarnelControl.exe"), "old QuarnelControl.exe", Log(),
                                     "touch '" + running.string() + "'; sleep 1");
    auto* window = new frmCompUpdateBeta(false);
    window->Show();
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!fs::exists(running) || !window->isVisible()) return;
        window->close();
        EXPECT_FALSE(window->isVisible());
    });
    closer.start(20);
    testsupport::StderrCapture debug;
    EXPECT_TRUE(testsupport::RunUntilUnloaded(window));
    EXPECT_NE(debug.Text().find("DOWNLOAD SUCCEEDED:  QuarnelEXE.zip"), std::string::npos) << debug.Text();
    ASSERT_TRUE(testsupport::WaitForText(Log(), "new Quarnel.exe \n")) << Started();
    // The control program was told to uninstall, and waited for, before the moves.
    EXPECT_EQ(Started().find("old QuarnelControl.exe /uninstall\n"), 0u) << Started();
    for (const char* name : {"Quarnel", "Quarnel_Stop", "QuarnelService", "QuarnelControl"})
        EXPECT_NE(ReadHostFile(App(std::string(name) + "_old.exe")).find("old " + std::string(name) + ".exe"),
                  std::string::npos)
            << name;
    EXPECT_NE(ReadHostFile(App("Quarnel_Stop.exe")).find("new Quarnel_Stop.exe"), std::string::npos);
    EXPECT_FALSE(fs::exists(App("QuarnelService.exe")));
    EXPECT_FALSE(fs::exists(App("QuarnelEXE.zip")));
}

// Without a new Quarnel.exe nothing could be started: the old files come back
// over what the archive delivered, and the control program starts again.
TEST_F(frmCompUpdateBetaTest, ArchiveWithoutTheProgramRestoresTheOldFiles) {
    PublishProgram({"QuarnelControl.exe", "Readme.txt"});
    site_.PublishIndex(Newer(), site_.Url("/files/QuarnelEXE.zip"));
    RunUpdate();
    ASSERT_TRUE(testsupport::WaitForText(Log(), "old Quarnel.exe \n")) << Started();
    ASSERT_TRUE(testsupport::WaitForText(Log(), "old QuarnelControl.exe \n")) << Started();
    for (const char* name : {"Quarnel", "Quarnel_Stop", "QuarnelService", "QuarnelControl"}) {
        EXPECT_FALSE(fs::exists(App(std::string(name) + "_old.exe"))) << name;
        EXPECT_NE(ReadHostFile(App(std::string(name) + ".exe")).find("old " + std::string(name) + ".exe"),
                  std::string::npos)
            << name;
    }
    EXPECT_EQ(Started().find("new "), std::string::npos) << Started();
}

// A new Quarnel.exe too large to compress much: text that repeats nowhere
// behind the stand-in's lines.
std::string LargeProgramText(const std::string& standIn) {
    std::string text = standIn + "exit 0\n";
    std::uint32_t state = 12345;
    for (int line = 0; line < 4000; ++line) {
        text += "#";
        for (int i = 0; i < 60; ++i) {
            state = state * 1103515245u + 12345u;
            text += static_cast<char>('A' + (state >> 16) % 26);
        }
        text += "\n";
    }
    return text;
}

// Torn, or else one stretch of Quarnel.exe's data changed.
class DamagedProgramArchive : public frmCompUpdateBetaTest, public ::testing::WithParamInterface<bool> {};

// Debian's 7-Zip, run as the fallback, leaves a short or garbled Quarnel.exe
// and exits with 2: nothing of the unpack goes in, every old file comes back.
TEST_P(DamagedProgramArchive, RestoresEveryOldFile) {
    const fs::path ketarin = App("3rd Party Tools/Ketarin");
    fs::create_directories(ketarin);
    fs::copy_file(fs::path(QUARNEL_BIN_DIR) / "SevenZipWrapper", ketarin / "7z.exe");
    std::string archive = site_.PublishArchive(
        "/files/whole.zip", {{"Quarnel.exe", LargeProgramText(testsupport::StandInProgramText("new Quarnel.exe", Log()))},
                             {"QuarnelControl.exe", testsupport::StandInProgramText("new QuarnelControl.exe", Log())}});
    testsupport::DamageArchive(archive, GetParam());
    site_.PublishFile("/files/QuarnelEXE.zip", archive);
    site_.PublishIndex(Newer(), site_.Url("/files/QuarnelEXE.zip"));
    const std::string debug = RunUpdate();
    EXPECT_NE(debug.find("Extracting Zip File with Command"), std::string::npos) << debug;
    EXPECT_NE(debug.find("QuarnelEXE.zip could not be unpacked whole; the previous program files are restored"),
              std::string::npos)
        << debug;
    ASSERT_TRUE(testsupport::WaitForText(Log(), "old Quarnel.exe \n")) << Started();
    ASSERT_TRUE(testsupport::WaitForText(Log(), "old QuarnelControl.exe \n")) << Started();
    for (const char* name : {"Quarnel", "Quarnel_Stop", "QuarnelService", "QuarnelControl"}) {
        EXPECT_FALSE(fs::exists(App(std::string(name) + "_old.exe"))) << name;
        EXPECT_EQ(ReadHostFile(App(std::string(name) + ".exe")),
                  testsupport::StandInProgramText(std::string("old ") + name + ".exe", Log()))
            << name;
    }
    EXPECT_EQ(Started().find("new "), std::string::npos) << Started();
    EXPECT_FALSE(fs::exists(App("QuarnelEXE_new")));
    EXPECT_FALSE(fs::exists(App("QuarnelEXE.zip")));
}

INSTANTIATE_TEST_SUITE_P(Damage, DamagedProgramArchive, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Torn" : "Garbled");
                         });

// A whole unpack that cannot all be moved into place (a read-only file of
// the same name) brings the old files back as well.
TEST_F(frmCompUpdateBetaTest, UnpackThatCannotAllBePutInPlaceRestoresEveryOldFile) {
    site_.PublishArchive("/files/QuarnelEXE.zip",
                         {{"Quarnel.exe", testsupport::StandInProgramText("new Quarnel.exe", Log())},
                          {"Notes.txt", "new notes"}});
    site_.PublishIndex(Newer(), site_.Url("/files/QuarnelEXE.zip"));
    WriteHostFile(App("Notes.txt"), "old notes");
    ASSERT_TRUE(win::SetFileAttributesA(kApp + "Notes.txt", win::FILE_ATTRIBUTE_READONLY));
    const std::string debug = RunUpdate();
    EXPECT_NE(debug.find("the unpacked files could not all be put in place; the previous program files are restored"),
              std::string::npos)
        << debug;
    ASSERT_TRUE(testsupport::WaitForText(Log(), "old Quarnel.exe \n")) << Started();
    for (const char* name : {"Quarnel", "Quarnel_Stop", "QuarnelService", "QuarnelControl"}) {
        EXPECT_FALSE(fs::exists(App(std::string(name) + "_old.exe"))) << name;
        EXPECT_NE(ReadHostFile(App(std::string(name) + ".exe")).find("old " + std::string(name) + ".exe"),
                  std::string::npos)
            << name;
    }
    EXPECT_EQ(ReadHostFile(App("Notes.txt")), "old notes");
    EXPECT_FALSE(fs::exists(App("QuarnelEXE_new")));
}

TEST_F(frmCompUpdateBetaTest, FailedDownloadsChangeNoProgramFileAndStillRestart) {
    {   // No index on the site; an index left from an earlier run is not used.
        WriteHostFile(App("BrindleUpdates.ini"), "[Quarnel]\r\nCurrentVersion=" + Newer() +
                                                     "\r\nDownloadURL=" + site_.Url("/files/QuarnelEXE.zip") + "\r\n");
        WriteHostFile(App("BrindleUpdates.zip"), "stale");
        PublishProgram({"Quarnel.exe"});
        const std::string debug = RunUpdate(true);
        EXPECT_NE(debug.find("DOWNLOAD FAILED:  BrindleUpdates.zip"), std::string::npos) << debug;
        EXPECT_FALSE(site_.WasRequested("/files/QuarnelEXE.zip"));
        EXPECT_FALSE(fs::exists(App("BrindleUpdates.ini")));
        EXPECT_FALSE(fs::exists(App("BrindleUpdates.zip")));
        ASSERT_TRUE(testsupport::WaitForText(Log(), "old Quarnel.exe \n")) << Started();
    }
    {   // A newer version whose archive is not there.
        site_.PublishIndex(Newer(), site_.Url("/files/Missing.zip"));
        const std::string debug = RunUpdate();
        EXPECT_NE(debug.find("DOWNLOAD FAILED:  QuarnelEXE.zip"), std::string::npos) << debug;
        EXPECT_EQ(Started().find("/uninstall"), std::string::npos) << Started();
        for (const char* name : {"Quarnel_old.exe", "Quarnel_Stop_old.exe", "QuarnelControl_old.exe"})
            EXPECT_FALSE(fs::exists(App(name))) << name;
        EXPECT_NE(ReadHostFile(App("Quarnel.exe")).find("old Quarnel.exe"), std::string::npos);
    }
}

TEST_F(frmCompUpdateBetaTest, IndexReaderTakesAWindowsFile) {
    WriteHostFile(App("BrindleUpdates.ini"), "\xEF\xBB\xBF; published\r\n[QUARNEL]\r\n  currentversion = 2.0.10 \r\n"
                                             "DownloadURL = https://example.test/files/QuarnelEXE.zip\r\n");
    const UpdateIndex index = ReadUpdateIndex(kApp + "BrindleUpdates.ini");
    EXPECT_EQ(index.CurrentVersion, "2.0.10");
    EXPECT_TRUE(IndexNamesNewerVersion(index, "2.0.5"));
    EXPECT_FALSE(IndexNamesNewerVersion(index, "2.0.10"));
    EXPECT_FALSE(IndexNamesNewerVersion({"2.0.99", ""}, "2.1.0"));
    EXPECT_EQ(index.DownloadURL, "https://example.test/files/QuarnelEXE.zip");
    EXPECT_EQ(ReadUpdateIndex(kApp + "Missing.ini").CurrentVersion, "");
}

TEST_F(frmCompUpdateBetaTest, WindowShowsItsStateAndIsHiddenWhenSilent) {
    auto* asking = new frmCompUpdateBeta(false);
    asking->Show();
    EXPECT_EQ(asking->windowTitle().toStdString(), "Application Update");
    EXPECT_EQ(asking->Label1->text().toStdString(), "Checking for Updates...");
    EXPECT_EQ(asking->Label1->font().family().toStdString(), "Lucida Console");
    EXPECT_TRUE(asking->isVisible());
    EXPECT_TRUE(testsupport::RunUntilUnloaded(asking));
    auto* silent = new frmCompUpdateBeta(true);
    silent->Show();
    EXPECT_FALSE(silent->isVisible());
    EXPECT_TRUE(testsupport::RunUntilUnloaded(silent));
}

}  // namespace
